#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QStackedLayout;

// A preview of one file: images scaled to fit, text files as text, anything else its
// icon and name. Reading happens off the main thread; a newer file wins.
class QuickLookPreview : public QWidget {
    Q_OBJECT
public:
    enum class Kind { None, Loading, Image, Text, Icon };

    explicit QuickLookPreview(QWidget *parent = nullptr);

    void setUrl(const QString &path);
    QString url() const { return m_path; }
    Kind kind() const { return m_kind; }
    QString shownText() const;

    struct Content {
        Kind kind = Kind::Icon;
        QImage image;
        QString text;
    };
    // What the preview shows for a file; reads the disk, so call it off the main thread.
    static Content load(const QString &path);

signals:
    void loaded();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void display(const Content &content);
    void updateImage();

    QString m_path;
    quint64 m_generation = 0;
    Kind m_kind = Kind::None;
    QImage m_image;
    QStackedLayout *m_stack;
    QLabel *m_imageLabel;
    QPlainTextEdit *m_text;
    QWidget *m_iconPage;
    QLabel *m_icon;
    QLabel *m_name;
};
