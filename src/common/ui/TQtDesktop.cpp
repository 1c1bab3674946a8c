#include "common/ui/TQtDesktop.h"

#include <QDesktopServices>
#include <QFile>
#include <QString>
#include <QUrl>

namespace kestrune {

bool TQtDesktop::Open(const std::string& FileOrUrl)
{
    const QString text = QString::fromStdString(FileOrUrl);
    // A path is never read as an address, whatever characters it holds.
    const QUrl url = text.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(text) : QUrl(text);
    return url.isValid() && QDesktopServices::openUrl(url);
}

bool TQtDesktop::MoveToTrash(const std::string& File)
{
    return QFile::moveToTrash(QString::fromStdString(File));
}

} // namespace kestrune
