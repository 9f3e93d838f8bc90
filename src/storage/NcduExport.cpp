#include "storage/NcduExport.h"

#include "platform/PathText.h"

#include <QDateTime>
#include <QIODevice>
#include <QSaveFile>

namespace {

constexpr qsizetype kFlushAt = 256 * 1024;

void appendNumber(QByteArray &out, const char *key, quint64 value)
{
    out += ",\"";
    out += key;
    out += "\":";
    out += QByteArray::number(value);
}

} // namespace

NcduExport::NcduExport(QIODevice *out, const CancelToken &stop, qint64 timestamp)
    : m_out(out), m_stop(stop), m_timestamp(timestamp)
{
}

QByteArray NcduExport::string(const QByteArray &name)
{
    QByteArray out;
    out.reserve(name.size() + 2);
    out += '"';
    // Bytes that are not UTF-8 go as they are: ncdu reads them back so.
    for (const char ch : name)
        PathText::appendJsonByte(out, static_cast<unsigned char>(ch));
    out += '"';
    return out;
}

QByteArray NcduExport::info(const UsageWalk::Item &item, bool isRoot) const
{
    QByteArray out = "{\"name\":" + string(item.name);
    const DirectoryReader::Node &node = item.node;
    if (node.size > 0)
        appendNumber(out, "asize", quint64(node.size));
    if (node.allocatedBytes > 0)
        appendNumber(out, "dsize", quint64(node.allocatedBytes));
    if (isRoot || (!m_devices.empty() && node.id.device != m_devices.back()))
        appendNumber(out, "dev", node.id.device);
    const bool linked = !item.isFolder() && node.linkCount >= 2 && !item.readError;
    if (linked) {
        appendNumber(out, "ino", node.id.inode);
        out += ",\"hlnkc\":true";
    }
    if (item.readError)
        out += ",\"read_error\":true";
    if (!item.readError && !item.isFolder() && node.kind != DirectoryReader::Kind::Regular)
        out += ",\"notreg\":true";
    if (item.excluded == UsageWalk::Excluded::OtherFileSystem)
        out += ",\"excluded\":\"othfs\"";
    else if (item.excluded == UsageWalk::Excluded::Rule ||
             item.excluded == UsageWalk::Excluded::Settings)
        out += ",\"excluded\":\"pattern\"";
    if (linked)
        appendNumber(out, "nlink", node.linkCount);
    out += '}';
    return out;
}

void NcduExport::put(const QByteArray &bytes)
{
    m_buffer += bytes;
    if (m_buffer.size() >= kFlushAt) {
        if (m_ok && m_out->write(m_buffer) != m_buffer.size()) {
            m_ok = false;
            m_stop.cancel();
        }
        m_buffer.clear();
    }
}

void NcduExport::enter(const UsageWalk::Item &folder, int depth)
{
    if (depth == 0) {
        m_started = true;
        put("[1,2,{\"progname\":\"quillmar\",\"progver\":\"" QUILLMAR_VERSION "\",\"timestamp\":" +
            QByteArray::number(m_timestamp) + "},\n[" + info(folder, true));
    } else {
        put(",\n[" + info(folder, false));
    }
    m_devices.push_back(folder.node.id.device);
}

void NcduExport::item(const UsageWalk::Item &item, int depth)
{
    // The walk of a single file has no folder to hold it.
    if (depth == 0)
        return;
    if (item.isFolder())
        put(",\n[" + info(item, false) + "]");
    else
        put(",\n" + info(item, false));
}

void NcduExport::leave(const UsageWalk::Item &, const UsageWalk::Totals &, int depth)
{
    m_devices.pop_back();
    put(depth == 0 ? "]]" : "]");
}

bool NcduExport::finish()
{
    if (m_ok && !m_buffer.isEmpty() && m_out->write(m_buffer) != m_buffer.size())
        m_ok = false;
    m_buffer.clear();
    return m_ok && m_started;
}

QString NcduExport::toFile(const QByteArray &root, const QString &fileName, UsageWalk &walk,
                           const CancelToken &cancel)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    NcduExport writer(&file, cancel, QDateTime::currentSecsSinceEpoch());
    const std::optional<UsageWalk::Totals> totals = walk.run(root, writer, cancel);
    if (!writer.ok())
        return file.errorString();
    if (!totals)
        return cancel.isCancelled() ? QString() : qt_error_string(walk.error());
    if (!writer.finish())
        return writer.ok() ? QStringLiteral("Only a folder can be exported") : file.errorString();
    if (!file.commit())
        return file.errorString();
    return {};
}
