#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;

// What a runtimes row is: the `file` tool's verdict on the path and, for a folder, the
// head of its `ls -la` listing. Both run off the main thread whenever the path
// changes; a newer path stops the older runs.
class RuntimeDetailPreview : public QWidget {
    Q_OBJECT
public:
    explicit RuntimeDetailPreview(QWidget *parent = nullptr);
    ~RuntimeDetailPreview() override;

    void setPath(const QString &path);
    QString path() const { return m_path; }
    QString binaryInfo() const { return m_binaryInfo; }
    QString directoryContents() const { return m_directoryContents; }

    struct Details {
        QString binaryInfo;
        QString directoryContents;
    };
    // Runs the tools: call it off the main thread.
    static Details load(const QString &path);
    static constexpr int maxListingLines = 15;

signals:
    void loaded();

private:
    void display(const QString &binaryInfo, const QString &contents);

    QString m_path;
    QString m_binaryInfo = QStringLiteral("Loading...");
    QString m_directoryContents;
    quint64 m_generation = 0;
    // Stops the tools still running for the previous path.
    std::function<void()> m_stop;
    QLabel *m_info;
    QLabel *m_contentsTitle;
    QLabel *m_contents;
};
