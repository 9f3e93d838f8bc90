#pragma once

#include <QDir>
#include <QFile>
#include <QString>

// A stand-in for "dpkg -S": writes its arguments one per line to <folder>/dpkg.args and
// answers that `package` owns the path, or that nothing does (exit 1) when it is empty.
// Returns the tool's path.
inline QString makeFakeDpkg(const QString &folder, const QString &package)
{
    QDir().mkpath(folder);
    const QString tool = folder + "/dpkg";
    QFile script(tool);
    if (script.open(QIODevice::WriteOnly)) {
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        script.write(package.isEmpty()
                         ? "echo \"dpkg-query: no path found matching pattern $3\" >&2\n"
                           "exit 1\n"
                         : "echo \"" + package.toUtf8() + ": $3\"\n");
        script.close();
    }
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return tool;
}
