// The chooser's directory list: the path from the root down to the current
// directory, one line per level, then the current directory's
// sub-directories.  A double click or Enter on a line asks to go there; the
// chooser decides whether it can (see FileOpen).  Return goes no further
// than the list: it never presses the chooser's default button as well.
//
// Paths are carried as the file system's bytes, from the listing of a
// directory to the opening of its files: a name need not be UTF-8 (a
// database copied from an 8-bit system keeps its Latin-1 names), and a Qt
// string would not give such bytes back.  The lines show the names decoded,
// for the eye only.
#pragma once

#include <QByteArray>
#include <QListWidget>
#include <QString>

namespace ondrel {

class DirectoryList : public QListWidget {
  Q_OBJECT

 public:
  explicit DirectoryList(QWidget* parent = nullptr);

  // Each line's path, as bytes.
  static constexpr int kPathRole = Qt::UserRole;

  QByteArray Path() const { return path_; }

  // Lists `path` as the current directory, made absolute and clean ("." and
  // ".." taken out by name, as the user reads the path).  Raises nothing:
  // the chooser runs its directory change itself.
  void ShowPath(const QByteArray& path);

  // Whether `path` is a directory whose entries can be listed.
  static bool Readable(const QByteArray& path);

  // The process's current directory.
  static QByteArray CurrentDirectory();

  // A path or name as it is shown: its bytes read as UTF-8, any byte that is
  // not shown as a replacement character.
  static QString Shown(const QByteArray& bytes);

 signals:
  // The user asked for the directory at `path`.
  void Requested(const QByteArray& path);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QByteArray path_;
};

}  // namespace ondrel
