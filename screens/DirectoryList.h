// The chooser's directory list: the path from the root down to the current
// directory, one line per level, then the current directory's
// sub-directories.  A double click or Enter on a line asks to go there; the
// chooser decides whether it can (see FileOpen).
#pragma once

#include <QListWidget>
#include <QString>

namespace ondrel {

class DirectoryList : public QListWidget {
  Q_OBJECT

 public:
  explicit DirectoryList(QWidget* parent = nullptr);

  QString Path() const { return path_; }

  // Lists `path` as the current directory.  Raises nothing: the chooser runs
  // its directory change itself.
  void ShowPath(const QString& path);

  // Whether `path` is a directory whose entries can be listed.
  static bool Readable(const QString& path);

 signals:
  // The user asked for the directory at `path`.
  void Requested(const QString& path);

 private:
  QString path_;
};

}  // namespace ondrel
