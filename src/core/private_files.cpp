#include "core/private_files.h"

#include <QDir>
#include <QFile>

bool makePrivateFolder(const QString& folder) {
    if (!QDir().mkpath(folder))
        return false;
    return QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
}

bool makePrivateFile(const QString& path) {
    if (!QFile::exists(path))
        return true;
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
