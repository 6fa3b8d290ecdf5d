#include "screens/DirectoryList.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyle>

namespace ondrel {

namespace {

constexpr int kPathRole = Qt::UserRole;

QString Indent(int level) { return QString(level * 2, QChar(' ')); }

}  // namespace

DirectoryList::DirectoryList(QWidget* parent) : QListWidget(parent) {
  // The request is raised once the list's own event is over: going there
  // rebuilds the list, which must not happen under the item that was
  // activated.
  connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    const QString path = item->data(kPathRole).toString();
    QMetaObject::invokeMethod(this, [this, path] { emit Requested(path); }, Qt::QueuedConnection);
  });
}

bool DirectoryList::Readable(const QString& path) {
  const QFileInfo info(path);
  return info.isDir() && info.isReadable() && info.isExecutable() && QDir(path).isReadable();
}

void DirectoryList::ShowPath(const QString& path) {
  path_ = QDir::cleanPath(QDir(path).absolutePath());
  clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

  // The levels from the root down to the current directory.
  QStringList levels;
  for (QDir d(path_);; ) {
    levels.prepend(d.absolutePath());
    if (d.isRoot() || !d.cdUp()) break;
  }
  int level = 0;
  for (const QString& p : levels) {
    const QString name = QDir(p).isRoot() ? QDir::toNativeSeparators(p) : QFileInfo(p).fileName();
    auto* item = new QListWidgetItem(open, Indent(level) + name, this);
    item->setData(kPathRole, p);
    ++level;
  }
  setCurrentRow(count() - 1);

  const QStringList children =
      QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString& child : children) {
    auto* item = new QListWidgetItem(closed, Indent(level) + child, this);
    item->setData(kPathRole, QDir(path_).filePath(child));
  }
  scrollToItem(currentItem());
}

}  // namespace ondrel
