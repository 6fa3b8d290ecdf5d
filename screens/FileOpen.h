// The file chooser: where the user picks a drive and directory of a run time
// database, one of its ISPECs and one of the ISPEC's profiles, sees the
// record count and the profile's keys and conditions, and opens it.
//
// The chooser is built the first time it is shown and then only hidden: when
// it comes back, everything is as the user left it.  Its Ok builds the
// reference information of the chosen key and prepares the contents screen;
// its Cancel leaves the shared state as the last Ok left it, so the contents
// screen never reads one file set through the reference information of
// another.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <QStringList>

#include "database/SharedState.h"
#include "screens/QtPlatform.h"
#include "viewer/ContentsView.h"

namespace Ui {
class FileOpen;
}
class QListWidget;
class QPushButton;

namespace ondrel {

class FileOpen : public QDialog {
  Q_OBJECT

 public:
  // `contents` is the contents screen, whose title and scroll bar Ok sets.
  FileOpen(SharedState& state, QtPlatform& platform, QWidget& contents, ContentsView& view);
  ~FileOpen() override;

  // Shows the chooser modally and returns when it hides itself.  The first
  // showing runs Form_Load.
  void ShowModal();

  // The handlers.
  void Form_Load();
  void Drive1_Change();
  void Dir1_Change();
  void LstIspec_Click(int row);
  void LstProfile_Click(int row);
  void CmdOpen_Click(int index);

  // Puts these file system roots in the drive list (the machine's mounted
  // file systems when the chooser is built) and selects the one holding the
  // directory list's path.
  void ListDrives(const QStringList& roots);

  // The file set on view was read again (F5): Cancel restores it as it is
  // now, and its record count shows the new value.
  void FileSetRefreshed();

  // The ordinates list's lines, as the profile file gives them.
  std::vector<std::string> Ordinates() const;

  // What the database routines set on the chooser while they load.
  void SetRecordCountLabel(const std::string& caption);
  void SetTitle(const std::string& title);
  void ClearList(ChooserList list);
  void AddToList(ChooserList list, const std::string& line);

 protected:
  // Escape and the window's close button act as Cancel.
  void reject() override;

 private:
  struct Snapshot;
  class LoadGuard;

  QListWidget* List(ChooserList list) const;
  std::string DirectoryBytes() const;
  // Goes to `path` when it can be read; otherwise says so and changes nothing.
  bool ChangeDirectory(const QByteArray& path);
  void SayUnreadable(const QByteArray& path);
  void SelectDriveOf(const QByteArray& path);
  Snapshot Capture() const;
  void Restore(const Snapshot& snapshot);

  SharedState& state_;
  QtPlatform& platform_;
  QWidget& contents_;
  ContentsView& view_;
  Ui::FileOpen* ui_;
  std::array<QPushButton*, 2> cmdOpen_{};
  bool loaded_ = false;
  // A load (ISPEC, profile, reference information) is running.
  bool busy_ = false;
  // The profile list of the chosen ISPEC, in file order.
  std::vector<std::string> profiles_;
  // Where each drive's directory list last stood.
  std::vector<QByteArray> driveDirectory_;
  int driveIndex_ = -1;
  // The state and look of the chooser at the last Ok (or before any), and
  // whether a choice has been made since.
  std::unique_ptr<Snapshot> accepted_;
  bool changedSinceOk_ = false;
};

// The roots of the mounted file systems that can be read, sorted: the
// drives of a machine without drive letters.
QStringList MountedDriveRoots();

// The contents screen's title for an opened file set.
std::string ContentsTitle(const SharedState& state);

}  // namespace ondrel
