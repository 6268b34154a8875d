#include "lastcalculation.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace app {

LastCalculation::LastCalculation(const QString &path)
    : m_path(path.isEmpty()
                 ? QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                       .filePath(QStringLiteral("rw7300-speedtable/last-calculation.") +
                                 files::kMountSuffix)
                 : path)
{
}

SavedSetupRead LastCalculation::read() const
{
    files::MountRead read = files::read_mount(m_path);
    if (auto *error = std::get_if<files::MountError>(&read)) {
        if (error->kind == files::MountError::Kind::Missing)
            return std::monostate();
        return std::move(*error);
    }
    return SavedSetup{std::get<files::Mount>(std::move(read)), QFileInfo(m_path).lastModified()};
}

files::WriteOutcome LastCalculation::save(const files::Mount &setup) const
{
    return files::update_store(
        m_path, files::kMaxMountFileBytes, [&setup](const std::optional<QByteArray> &current) {
            return std::optional(current ? files::updated_mount_bytes(*current, setup)
                                         : files::mount_bytes(setup));
        });
}

} // namespace app
