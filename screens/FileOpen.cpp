#include "screens/FileOpen.h"

#include <unistd.h>

#include <algorithm>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSignalBlocker>
#include <QStorageInfo>

#include "database/Catalogue.h"
#include "database/IndexWalk.h"
#include "database/Profile.h"
#include "screens/ClickList.h"
#include "screens/Cp1252.h"
#include "screens/DirectoryList.h"
#include "screens/Fonts.h"
#include "screens/ReturnKey.h"
#include "ui_FileOpenForm.h"
#include "viewer/Refresh.h"
#include "viewer/Scrolling.h"

namespace ondrel {

namespace {

constexpr int kBytesRole = ClickList::kBytesRole;

std::string Trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string BytesOf(const QListWidgetItem* item) {
  return item->data(kBytesRole).toByteArray().toStdString();
}

void AddLine(QListWidget* list, const QString& shown, const std::string& bytes) {
  auto* item = new QListWidgetItem(shown);
  item->setData(kBytesRole, QByteArray::fromStdString(bytes));
  list->addItem(item);
}

}  // namespace

// The part of the shared state that choosing a directory, an ISPEC or a
// profile replaces, and how the chooser looked, at one moment.
struct FileOpen::Snapshot {
  std::string IspecName, ProfileName, DefinitionPath, ProfilePath, DataPath, IndexPath, CurrentPath;
  Integer NodeSize = 0;
  Long RecordCount = 0;
  Integer KeyNumber = 0, KeyCounter = 0, KeyDescLength = 0;
  std::int64_t KeyDescPos = 0;
  KeyHeadRecord KeyHead;
  KeyPartRecord KeyPart;
  Integer KeyLength = 0, EntryTail = 0;
  std::string EntryPad;
  std::vector<OrdinateDef> Ordinates;
  std::vector<Integer> KeyPartLengths;

  struct ListCopy {
    std::vector<std::pair<QString, QByteArray>> items;
    int current = -1;
  };
  QByteArray path;
  int drive = -1;
  QString title;
  QString recordCount;
  std::array<ListCopy, 5> lists;
  std::vector<std::string> profiles;
};

// Marks a load as running for its whole span: the handlers refuse to start
// another, and yielding to the event loop holds keyboard and mouse input
// back until the load is over.
class FileOpen::LoadGuard {
 public:
  explicit LoadGuard(FileOpen& f) : f_(f), busy_(f.busy_), held_(f.platform_.InputHeld()) {
    f_.busy_ = true;
    f_.platform_.HoldInput(true);
  }
  ~LoadGuard() {
    f_.busy_ = busy_;
    f_.platform_.HoldInput(held_);
  }
  LoadGuard(const LoadGuard&) = delete;
  LoadGuard& operator=(const LoadGuard&) = delete;

 private:
  FileOpen& f_;
  bool busy_;
  bool held_;
};

std::string ContentsTitle(const SharedState& state) {
  return "Ondrel Runtime File Contents for " + state.IspecName + " via " + state.ProfileName;
}

FileOpen::FileOpen(SharedState& state, QtPlatform& platform, QWidget& contents, ContentsView& view)
    : QDialog(&contents), state_(state), platform_(platform), contents_(contents), view_(view),
      ui_(new Ui::FileOpen) {
  ui_->setupUi(this);
  ApplyDesignPointSize(this);
  for (QListWidget* list : {ui_->LstIspecs, ui_->LstOrdinates, ui_->LstConditions}) PreferFixedPitch(list);
  for (QLabel* label : findChildren<QLabel*>()) label->adjustSize();

  cmdOpen_ = {ui_->CmdOpen_0, ui_->CmdOpen_1};
  for (int i = 0; i < static_cast<int>(cmdOpen_.size()); ++i) {
    cmdOpen_[i]->setAutoDefault(false);
    connect(cmdOpen_[i], &QPushButton::clicked, this, [this, i] { RunHandler([&] { CmdOpen_Click(i); }); });
  }
  // Ok is the default: Return where nothing else takes it (the ISPEC and
  // profile lists) opens the file.  The directory list keeps Return for
  // going into a directory.
  cmdOpen_[0]->setDefault(true);
  PressButtonsOnReturn(this);
  // Loading an ISPEC or a profile ends the program when it fails: every
  // handler that loads runs through RunHandler.
  connect(ui_->LstIspec, &ClickList::Click, this, [this](int row) { RunHandler([&] { LstIspec_Click(row); }); });
  connect(ui_->LstProfile, &ClickList::Click, this, [this](int row) { RunHandler([&] { LstProfile_Click(row); }); });
  connect(ui_->Dir1, &DirectoryList::Requested, this, [this](const QByteArray& path) {
    RunHandler([&] {
      if (!busy_) ChangeDirectory(path);
    });
  });
  connect(ui_->Drive1, qOverload<int>(&QComboBox::activated), this,
          [this](int) { RunHandler([&] { Drive1_Change(); }); });

  // The lists start at the process's current drive and directory.
  ui_->Dir1->ShowPath(DirectoryList::CurrentDirectory());
  ListDrives(MountedDriveRoots());
  platform_.AttachChooser(this);
}

FileOpen::~FileOpen() {
  platform_.AttachChooser(nullptr);
  delete ui_;
}

void FileOpen::ShowModal() {
  if (!loaded_) {
    loaded_ = true;
    Form_Load();
  }
  exec();
}

void FileOpen::Form_Load() {
  ui_->Label6->clear();
  ui_->Label7->clear();
  Dir1_Change();
  accepted_ = std::make_unique<Snapshot>(Capture());
  changedSinceOk_ = false;
}

// ---------------------------------------------------------------- drives

QStringList MountedDriveRoots() {
  QStringList roots;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (volume.isValid() && volume.isReady()) roots.append(volume.rootPath());
  }
  roots.sort();
  roots.removeDuplicates();
  return roots;
}

void FileOpen::ListDrives(const QStringList& roots) {
  QSignalBlocker block(ui_->Drive1);
  ui_->Drive1->clear();
  for (const QString& root : roots) ui_->Drive1->addItem(QDir::toNativeSeparators(root), root);
  driveDirectory_.assign(static_cast<std::size_t>(roots.size()), QByteArray());
  SelectDriveOf(ui_->Dir1->Path());
}

void FileOpen::SelectDriveOf(const QByteArray& path) {
  // The drive of a path is the mounted file system whose root is the longest
  // leading part of it.
  int best = -1;
  qsizetype bestLength = -1;
  for (int i = 0; i < ui_->Drive1->count(); ++i) {
    const QByteArray root = QFile::encodeName(ui_->Drive1->itemData(i).toString());
    const bool holds = path == root || root == "/" || path.startsWith(root.endsWith('/') ? root : root + '/');
    if (holds && root.size() > bestLength) {
      best = i;
      bestLength = root.size();
    }
  }
  QSignalBlocker block(ui_->Drive1);
  ui_->Drive1->setCurrentIndex(best);
  driveIndex_ = best;
  if (best >= 0) driveDirectory_[static_cast<std::size_t>(best)] = path;
}

void FileOpen::Drive1_Change() {
  if (busy_) return;
  const int index = ui_->Drive1->currentIndex();
  if (index < 0) return;
  // Like a drive of its home platform, each drive returns to the directory
  // the list last showed on it; a drive not yet visited starts at its root.
  QByteArray target = driveDirectory_[static_cast<std::size_t>(index)];
  if (target.isEmpty()) target = QFile::encodeName(ui_->Drive1->itemData(index).toString());
  if (!ChangeDirectory(target)) {
    QSignalBlocker block(ui_->Drive1);
    ui_->Drive1->setCurrentIndex(driveIndex_);
  }
}

// ---------------------------------------------------------------- directories

std::string FileOpen::DirectoryBytes() const { return ui_->Dir1->Path().toStdString(); }

void FileOpen::SayUnreadable(const QByteArray& path) {
  platform_.MessageBox("The directory " + path.toStdString() + " cannot be read.  Choose another drive or directory.",
                       "", MsgIcon::Exclamation, MsgButtons::Ok);
}

bool FileOpen::ChangeDirectory(const QByteArray& path) {
  if (!DirectoryList::Readable(path)) {
    SayUnreadable(path);
    return false;
  }
  const QByteArray before = ui_->Dir1->Path();
  ui_->Dir1->ShowPath(path);
  SelectDriveOf(ui_->Dir1->Path());
  if (ui_->Dir1->Path() != before) Dir1_Change();
  return true;
}

void FileOpen::Dir1_Change() {
  LoadGuard guard(*this);
  changedSinceOk_ = true;
  ui_->LstIspec->clear();
  ui_->LstProfile->clear();
  profiles_.clear();
  setWindowTitle(QStringLiteral("Choose Path and Ispec"));

  bool readable = true;
  for (const std::string& name : ListIspecs(DirectoryBytes(), &readable))
    AddLine(ui_->LstIspec, FromCp1252(name), name);
  if (!readable) SayUnreadable(ui_->Dir1->Path());

  // The ISPEC chosen before is chosen again when this directory has it too.
  for (int row = 0; row < ui_->LstIspec->count(); ++row) {
    if (Trimmed(BytesOf(ui_->LstIspec->item(row))) == state_.IspecName) {
      ui_->LstIspec->setCurrentRow(row);
      setWindowTitle(QStringLiteral("Choose Profile"));
      profiles_ = LoadFileSet(state_, platform_, DirectoryBytes(), BytesOf(ui_->LstIspec->item(row)));
      break;
    }
  }
  // A profile must be chosen again after every change of directory.
  state_.ProfileName.clear();
}

// ---------------------------------------------------------------- ISPECs and profiles

void FileOpen::LstIspec_Click(int row) {
  if (busy_ || row < 0 || row >= ui_->LstIspec->count()) return;
  LoadGuard guard(*this);
  changedSinceOk_ = true;
  setWindowTitle(QStringLiteral("Choose Profile"));
  profiles_ = LoadFileSet(state_, platform_, DirectoryBytes(), BytesOf(ui_->LstIspec->item(row)));
}

void FileOpen::LstProfile_Click(int row) {
  if (busy_ || row < 0 || row >= static_cast<int>(profiles_.size())) return;
  LoadGuard guard(*this);
  changedSinceOk_ = true;
  LoadProfile(state_, platform_, profiles_, row);
}

// ---------------------------------------------------------------- Ok and Cancel

void FileOpen::CmdOpen_Click(int index) {
  if (busy_) return;
  if (index == 1) {
    state_.ChooserCancelled = true;
    if (changedSinceOk_ && accepted_) Restore(*accepted_);
    hide();
    return;
  }
  if (index != 0) return;

  if (state_.IspecName.empty()) {
    platform_.MessageBox("Please select an ISPEC.", "", MsgIcon::None, MsgButtons::Ok);
    return;
  }
  if (state_.ProfileName.empty()) {
    platform_.MessageBox("Please select a Profile.", "", MsgIcon::None, MsgButtons::Ok);
    return;
  }
  LoadGuard guard(*this);
  // The process works in the chosen directory from here on.  A directory
  // that went away since it was listed leaves the process where it was; the
  // file set's paths are whole paths and do not depend on it.
  [[maybe_unused]] const int changed = ::chdir(ui_->Dir1->Path().constData());
  ui_->Label7->setText(QStringLiteral("Building reference information, please wait."));
  ui_->Label7->adjustSize();
  platform_.DoEvents();

  // The header was read when the ISPEC was chosen, maybe long ago: the
  // header, the key description and the tree are read again here, from one
  // state of the files.
  const std::string failure = ReadChosenSet(state_, platform_);
  ui_->Label7->clear();
  if (!failure.empty()) {
    platform_.MessageBox(failure, "", MsgIcon::Exclamation, MsgButtons::Ok);
    return;
  }
  contents_.setWindowTitle(FromCp1252(ContentsTitle(state_)));
  hide();
  // A maximum below the bar's value moves the value, and the change event
  // would fill the window with the new file set at the old section, loading
  // its definition (and showing the failure of that load) once more than
  // "Choose File" does right after.  The window is filled there, once.
  const bool idle = state_.WindowIdle;
  state_.WindowIdle = false;
  view_.SetFilePosMax(OpeningScrollMaximum(state_.RecordCount));
  state_.WindowIdle = idle;
  state_.SectionCount = SectionCountOf(state_.RecordCount);
  accepted_ = std::make_unique<Snapshot>(Capture());
  changedSinceOk_ = false;
  platform_.DoEvents();
}

void FileOpen::reject() { CmdOpen_Click(1); }

void FileOpen::FileSetRefreshed() {
  // Hidden, the chooser looks as the last Ok left it (Cancel restores what
  // was chosen since), so what it looks like now is what Cancel keeps.
  if (!accepted_ || isVisible()) return;
  SetRecordCountLabel(RecordCountCaption(state_.RecordCount));
  accepted_ = std::make_unique<Snapshot>(Capture());
  changedSinceOk_ = false;
}

std::vector<std::string> FileOpen::Ordinates() const {
  std::vector<std::string> lines;
  for (int row = 0; row < ui_->LstOrdinates->count(); ++row) lines.push_back(BytesOf(ui_->LstOrdinates->item(row)));
  return lines;
}

// ---------------------------------------------------------------- what the loads set

QListWidget* FileOpen::List(ChooserList list) const {
  switch (list) {
    case ChooserList::Profiles: return ui_->LstProfile;
    case ChooserList::Ispecs: return ui_->LstIspecs;
    case ChooserList::Ordinates: return ui_->LstOrdinates;
    case ChooserList::Conditions: return ui_->LstConditions;
  }
  return nullptr;
}

void FileOpen::SetRecordCountLabel(const std::string& caption) {
  ui_->Label6->setText(FromCp1252(caption));
  ui_->Label6->adjustSize();
}

void FileOpen::SetTitle(const std::string& title) { setWindowTitle(FromCp1252(title)); }

void FileOpen::ClearList(ChooserList list) {
  if (QListWidget* l = List(list)) l->clear();
}

void FileOpen::AddToList(ChooserList list, const std::string& line) {
  if (QListWidget* l = List(list)) AddLine(l, TextBoxDisplay(line), line);
}

// ---------------------------------------------------------------- Cancel's memory

FileOpen::Snapshot FileOpen::Capture() const {
  Snapshot s;
  s.IspecName = state_.IspecName;
  s.ProfileName = state_.ProfileName;
  s.DefinitionPath = state_.DefinitionPath;
  s.ProfilePath = state_.ProfilePath;
  s.DataPath = state_.DataPath;
  s.IndexPath = state_.IndexPath;
  s.CurrentPath = state_.CurrentPath;
  s.NodeSize = state_.NodeSize;
  s.RecordCount = state_.RecordCount;
  s.KeyNumber = state_.KeyNumber;
  s.KeyCounter = state_.KeyCounter;
  s.KeyDescLength = state_.KeyDescLength;
  s.KeyDescPos = state_.KeyDescPos;
  s.KeyHead = state_.KeyHead;
  s.KeyPart = state_.KeyPart;
  s.KeyLength = state_.KeyLength;
  s.EntryTail = state_.EntryTail;
  s.EntryPad = state_.EntryPad;
  s.Ordinates = state_.Ordinates;
  s.KeyPartLengths = state_.KeyPartLengths;

  s.path = ui_->Dir1->Path();
  s.drive = ui_->Drive1->currentIndex();
  s.title = windowTitle();
  s.recordCount = ui_->Label6->text();
  const std::array<QListWidget*, 5> lists = {ui_->LstIspec, ui_->LstProfile, ui_->LstIspecs, ui_->LstOrdinates,
                                             ui_->LstConditions};
  for (std::size_t i = 0; i < lists.size(); ++i) {
    for (int row = 0; row < lists[i]->count(); ++row) {
      const QListWidgetItem* item = lists[i]->item(row);
      s.lists[i].items.emplace_back(item->text(), item->data(kBytesRole).toByteArray());
    }
    s.lists[i].current = lists[i]->currentRow();
  }
  s.profiles = profiles_;
  return s;
}

void FileOpen::Restore(const Snapshot& s) {
  // A definition read for another ISPEC must not describe this one's records:
  // it is read again before the next window.
  if (state_.DefinitionPath != s.DefinitionPath) state_.Heading.clear();
  state_.IspecName = s.IspecName;
  state_.ProfileName = s.ProfileName;
  state_.DefinitionPath = s.DefinitionPath;
  state_.ProfilePath = s.ProfilePath;
  state_.DataPath = s.DataPath;
  state_.IndexPath = s.IndexPath;
  state_.CurrentPath = s.CurrentPath;
  state_.NodeSize = s.NodeSize;
  state_.RecordCount = s.RecordCount;
  state_.KeyNumber = s.KeyNumber;
  state_.KeyCounter = s.KeyCounter;
  state_.KeyDescLength = s.KeyDescLength;
  state_.KeyDescPos = s.KeyDescPos;
  state_.KeyHead = s.KeyHead;
  state_.KeyPart = s.KeyPart;
  state_.KeyLength = s.KeyLength;
  state_.EntryTail = s.EntryTail;
  state_.EntryPad = s.EntryPad;
  state_.Ordinates = s.Ordinates;
  state_.KeyPartLengths = s.KeyPartLengths;

  ui_->Dir1->ShowPath(s.path);
  {
    QSignalBlocker block(ui_->Drive1);
    ui_->Drive1->setCurrentIndex(s.drive);
    driveIndex_ = s.drive;
  }
  setWindowTitle(s.title);
  ui_->Label6->setText(s.recordCount);
  ui_->Label6->adjustSize();
  const std::array<QListWidget*, 5> lists = {ui_->LstIspec, ui_->LstProfile, ui_->LstIspecs, ui_->LstOrdinates,
                                             ui_->LstConditions};
  for (std::size_t i = 0; i < lists.size(); ++i) {
    QSignalBlocker block(lists[i]);
    lists[i]->clear();
    for (const auto& [text, bytes] : s.lists[i].items) {
      auto* item = new QListWidgetItem(text);
      item->setData(kBytesRole, bytes);
      lists[i]->addItem(item);
    }
    lists[i]->setCurrentRow(s.lists[i].current);
  }
  profiles_ = s.profiles;
  changedSinceOk_ = false;
}

}  // namespace ondrel
