#include "screens/DirectoryList.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include <QFile>
#include <QKeyEvent>
#include <QStyle>

namespace ondrel {

namespace {

QString Indent(int level) { return QString(level * 2, QChar(' ')); }

// `path` made absolute against the current directory, with empty, "." and
// ".." components taken out by name; the root is "/".
QByteArray CleanPath(const QByteArray& path) {
  const QByteArray absolute = path.startsWith('/') ? path : DirectoryList::CurrentDirectory() + '/' + path;
  QList<QByteArray> parts;
  for (const QByteArray& part : absolute.split('/')) {
    if (part.isEmpty() || part == ".") continue;
    if (part == "..") {
      if (!parts.isEmpty()) parts.removeLast();
      continue;
    }
    parts.append(part);
  }
  QByteArray clean;
  for (const QByteArray& part : parts) clean += '/' + part;
  return clean.isEmpty() ? QByteArray("/") : clean;
}

QByteArray Join(const QByteArray& directory, const QByteArray& name) {
  return directory.endsWith('/') ? directory + name : directory + '/' + name;
}

bool IsDirectory(const QByteArray& path) {
  struct stat st {};
  return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The sub-directories of `path` (links to directories included, hidden ones
// left out), by name without regard to letter case.
QList<QByteArray> SubDirectories(const QByteArray& path) {
  QList<QByteArray> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.constData()), ::closedir);
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const QByteArray name(entry->d_name);
    if (name.startsWith('.')) continue;
    if (IsDirectory(Join(path, name))) names.append(name);
  }
  std::sort(names.begin(), names.end(), [](const QByteArray& a, const QByteArray& b) {
    const int byName = DirectoryList::Shown(a).compare(DirectoryList::Shown(b), Qt::CaseInsensitive);
    return byName != 0 ? byName < 0 : a < b;
  });
  return names;
}

}  // namespace

DirectoryList::DirectoryList(QWidget* parent) : QListWidget(parent) {
  // The request is raised once the list's own event is over: going there
  // rebuilds the list, which must not happen under the item that was
  // activated.
  connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    const QByteArray path = item->data(kPathRole).toByteArray();
    QMetaObject::invokeMethod(this, [this, path] { emit Requested(path); }, Qt::QueuedConnection);
  });
}

void DirectoryList::keyPressEvent(QKeyEvent* event) {
  QListWidget::keyPressEvent(event);
  // The list activates the line and lets the key go on to the dialog.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) event->accept();
}

QString DirectoryList::Shown(const QByteArray& bytes) { return QFile::decodeName(bytes); }

QByteArray DirectoryList::CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return QByteArray("/");
    buffer.resize(buffer.size() * 2);
  }
  return QByteArray(buffer.data());
}

bool DirectoryList::Readable(const QByteArray& path) {
  if (!IsDirectory(path) || ::access(path.constData(), R_OK | X_OK) != 0) return false;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.constData()), ::closedir);
  return dir != nullptr;
}

void DirectoryList::ShowPath(const QByteArray& path) {
  path_ = CleanPath(path);
  clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

  // The levels from the root down to the current directory.
  QList<QByteArray> levels = {QByteArray("/")};
  for (qsizetype start = 1; start < path_.size();) {
    qsizetype slash = path_.indexOf('/', start);
    if (slash < 0) slash = path_.size();
    levels.append(path_.left(slash));
    start = slash + 1;
  }
  int level = 0;
  for (const QByteArray& p : levels) {
    const QString name = p == "/" ? QStringLiteral("/") : Shown(p.mid(p.lastIndexOf('/') + 1));
    auto* item = new QListWidgetItem(open, Indent(level) + name, this);
    item->setData(kPathRole, p);
    ++level;
  }
  setCurrentRow(count() - 1);

  for (const QByteArray& child : SubDirectories(path_)) {
    auto* item = new QListWidgetItem(closed, Indent(level) + Shown(child), this);
    item->setData(kPathRole, Join(path_, child));
  }
  scrollToItem(currentItem());
}

}  // namespace ondrel
