#pragma once

#include "storage/StorageScanner.h"

#include <QAbstractListModel>
#include <QWidget>

#include <optional>

class QLabel;
class QListView;

// The rows of one column: the entries of a folder, largest first. Rows are drawn on
// demand, so a folder with thousands of children costs only what is on screen.
class StorageColumnModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    void setEntries(const QList<StorageEntry> &entries);
    void setChosen(const std::optional<StorageEntry> &chosen);
    const QList<StorageEntry> &entries() const { return m_entries; }
    const std::optional<StorageEntry> &chosen() const { return m_chosen; }
    qint64 total() const { return m_total; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    QList<StorageEntry> m_entries;
    std::optional<StorageEntry> m_chosen;
    qint64 m_total = 1;
};

class StorageColumn : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 260;

    explicit StorageColumn(QWidget *parent = nullptr);

    void setEntries(const QList<StorageEntry> &entries);
    void setChosen(const std::optional<StorageEntry> &chosen);
    QList<StorageEntry> entries() const { return m_model->entries(); }
    std::optional<StorageEntry> chosen() const { return m_model->chosen(); }

    QListView *list() const { return m_list; }
    // Whether the column shows "Empty" instead of rows.
    bool showsEmptyText() const;
    // Where row `row` is drawn, in the list's viewport.
    QRect rowRect(int row) const;

signals:
    void choose(const StorageEntry &entry);
    // Right and Left arrows: into the chosen folder's column, back to the one before.
    void forward();
    void back();
    // Delete or Shift+Delete: the chosen entry to the Trash, asking first.
    void removeChosen();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    StorageColumnModel *m_model;
    QListView *m_list;
    QLabel *m_empty;
};
