#include "app/cli/FileListing.h"

#include "app/cli/Command.h"
#include "app/cli/Console.h"

void FileListing::item(const UsageWalk::Item &item, int)
{
    if (item.readError) {
        m_complete = false;
        m_console.error(item.path, QStringLiteral("cannot be read"));
        return;
    }
    if (item.node.kind == DirectoryReader::Kind::Regular && item.node.size >= m_minimum)
        files.append({item.path, m_given + item.path.mid(m_root == "/" ? 1 : m_root.size()),
                      item.node.size});
}

bool FileListing::list(const QList<QByteArray> &roots)
{
    UsageWalk walk;
    for (const QByteArray &given : roots) {
        const QByteArray root = Command::absolute(given);
        m_root = root;
        m_given = given;
        while (m_given.size() > 1 && m_given.endsWith('/'))
            m_given.chop(1);
        m_console.withProgress(
            [&] {
                if (!root.isEmpty() && !walk.run(root, *this, m_console.interrupt()) &&
                    !m_console.interrupted()) {
                    m_complete = false;
                    m_console.error(given, qt_error_string(walk.error()));
                }
            },
            [&] { return QByteArray::number(walk.itemsSeen()) + " items"; });
        if (m_console.interrupted())
            return false;
    }
    return m_complete;
}
