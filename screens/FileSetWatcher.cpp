#include "screens/FileSetWatcher.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

namespace ondrel {

FileSetWatcher::FileSetWatcher(QObject* parent) : QObject(parent) {
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this](const QString&) {
    WatchAgain();
    emit Changed();
  });
  // A directory changes for every file made, removed or renamed in it; only
  // a file of the set that came back counts.
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this](const QString&) {
    if (WatchAgain()) emit Changed();
  });
}

void FileSetWatcher::Watch(const std::vector<std::string>& files) {
  if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
  if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
  files_.clear();
  QStringList directories;
  for (const std::string& file : files) {
    const QByteArray bytes = QByteArray::fromStdString(file);
    const QString path = QFile::decodeName(bytes);
    // The watcher takes paths as strings, and a path whose bytes are not
    // UTF-8 does not come back from a string as the same bytes: such a file
    // set is not watched.  F5 reads it again all the same.
    if (QFile::encodeName(path) != bytes) continue;
    files_.append(path);
    const QString directory = QFileInfo(path).absolutePath();
    if (!directories.contains(directory)) directories.append(directory);
  }
  WatchAgain();
  if (!directories.isEmpty()) watcher_.addPaths(directories);
}

bool FileSetWatcher::WatchAgain() {
  const QStringList watched = watcher_.files();
  bool again = false;
  for (const QString& file : files_) {
    if (!watched.contains(file) && QFileInfo::exists(file) && watcher_.addPath(file)) again = true;
  }
  return again;
}

}  // namespace ondrel
