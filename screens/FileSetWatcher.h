// Notices when a file of the open file set changes on disk, so that the
// contents screen can tell the user that F5 shows the change.
//
// The program that owns the database writes its files in place, and may also
// replace one by writing a new file and renaming it over the old.  A watch
// belongs to the file it was set on, so a replaced (or deleted) file is no
// longer watched; the directory is watched too, and a file of the set that
// is there again is watched again at once.
#pragma once

#include <string>
#include <vector>

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>

namespace ondrel {

class FileSetWatcher : public QObject {
  Q_OBJECT

 public:
  explicit FileSetWatcher(QObject* parent = nullptr);

  // Watches these files, given as the file system's bytes, and the
  // directories that hold them, instead of what was watched before.
  void Watch(const std::vector<std::string>& files);

  // Watches again each file of the set that is there but not watched.
  // Returns whether there was one.
  bool WatchAgain();

  // The files being watched now.
  QStringList Watched() const { return watcher_.files(); }

 signals:
  // A file of the set was written, replaced, deleted or created.
  void Changed();

 private:
  QFileSystemWatcher watcher_;
  QStringList files_;
};

}  // namespace ondrel
