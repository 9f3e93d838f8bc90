#include "platform/DirectoryWalk.h"

#include "platform/DirectoryReader.h"

#include <string>

namespace {

void walkFolder(DirectoryReader &folder, const std::string &prefix,
                const DirectoryWalk::Visitor &visit)
{
    DirectoryReader::Kind hint;
    while (const char *name = folder.next(hint)) {
        const std::optional<FileProperties> properties = folder.childProperties(name);
        if (!properties)
            continue;
        const std::string path = prefix + '/' + name;
        visit(decodeNativePath(path.data(), qsizetype(path.size())), *properties);
        if (properties->isDirectory) {
            DirectoryReader child;
            if (child.openChild(folder, name))
                walkFolder(child, path, visit);
        }
    }
}

} // namespace

bool DirectoryWalk::walk(const QString &folder, const Visitor &visit)
{
    if (folder.isEmpty())
        return false;
    const QByteArray root = nativePath(folder);
    DirectoryReader reader;
    if (!reader.open(root.constData(), true))
        return false;
    std::string prefix(root.constData(), size_t(root.size()));
    while (prefix.size() > 1 && prefix.back() == '/')
        prefix.pop_back();
    if (prefix == "/")
        prefix.clear();
    walkFolder(reader, prefix, visit);
    return true;
}
