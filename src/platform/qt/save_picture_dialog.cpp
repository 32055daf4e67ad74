#include "platform/qt/save_picture_dialog.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeView>

#include "base/paths.h"

#include "platform/qt/picture_preview.h"

namespace quendra::qt {

namespace {

QString FromBytes(const std::string& s) {
  return QFile::decodeName(QByteArray::fromStdString(s));
}

// Qt reads a filter's patterns from its last parentheses, separated by spaces; the details
// are hidden, so the dialog shows each description exactly as written.
QString QtFilter(const SaveFilter& f) {
  QString patterns = QString::fromUtf8(f.patterns.data(), qsizetype(f.patterns.size()));
  patterns.replace(';', ' ');
  return QString::fromUtf8(f.description.data(), qsizetype(f.description.size())) + " (" +
         patterns + ")";
}

}  // namespace

SavePictureDialog::SavePictureDialog(QWidget* parent, const TSavePictureDialog& s,
                                     const std::string& saving)
    : QFileDialog(parent, QString::fromStdString(s.Title)) {
  setOption(QFileDialog::DontUseNativeDialog);
  setOption(QFileDialog::HideNameFilterDetails);
  setOption(QFileDialog::DontConfirmOverwrite, !s.OverwritePrompt);
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  setDefaultSuffix(QString::fromStdString(s.DefaultExt));
  for (const SaveFilter& f : s.Filter) {
    filters_ << QtFilter(f);
    descriptions_ << QString::fromUtf8(f.description.data(), qsizetype(f.description.size()));
  }
  setNameFilters(filters_);
  if (s.FilterIndex >= 1 && s.FilterIndex <= filters_.size())
    selectNameFilter(filters_[s.FilterIndex - 1]);
  if (!s.InitialDir.empty()) setDirectory(FromBytes(s.InitialDir));
  // After the filter: choosing a filter rewrites the extension of the name shown.
  if (!s.FileName.empty()) selectFile(FromBytes(s.FileName));
  // The proposal as Qt gives it back, to recognise it in the answer.
  if (!s.FileName.empty() && !selectedFiles().isEmpty()) {
    const QString shown = selectedFiles().first();
    const std::string ext = ExtractFileExt(s.FileName);
    kept_.emplace_back(s.FileName, shown);
    if (!ext.empty() && shown.endsWith(FromBytes(ext)))
      kept_.emplace_back(s.FileName.substr(0, s.FileName.size() - ext.size()),
                         shown.left(shown.size() - FromBytes(ext).size()));
  }
  if (!s.InitialDir.empty())
    kept_.emplace_back(AddTrailingPathDelimiter(s.InitialDir),
                       directory().absolutePath() + QLatin1Char('/'));

  preview_ = new PicturePreview(this);
  if (auto* splitter = findChild<QSplitter*>("splitter")) {
    splitter->addWidget(preview_);
    splitter->setStretchFactor(splitter->indexOf(preview_), 0);
  }
  connect(this, &QFileDialog::currentChanged, preview_, [this](const QString& path) {
    preview_->ShowFile(QFile::encodeName(path).toStdString());
  });
  // The preview is not blank at the start: it shows the proposed file, or while that is a new
  // name, the picture being saved.
  const QStringList proposed = selectedFiles();
  if (!proposed.isEmpty() && QFileInfo(proposed.first()).isFile())
    preview_->ShowFile(QFile::encodeName(proposed.first()).toStdString());
  else if (!saving.empty())
    preview_->ShowFile(saving);
  // The detail columns are as wide as their text; the name takes the rest.
  if (auto* tree = findChild<QTreeView*>("treeView")) {
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
      header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  }
}

std::string SavePictureDialog::ChosenFile() const {
  const QStringList files = selectedFiles();
  if (files.isEmpty()) return {};
  const QString chosen = files.first();
  // What the user kept of the proposal as Qt shows it (the whole name, the name without its
  // extension, the folder) is given back as the proposal's bytes; only what the user typed is
  // encoded. The longest match counts.
  for (const auto& [bytes, shown] : kept_) {
    if (!shown.isEmpty() && chosen.startsWith(shown))
      return bytes + QFile::encodeName(chosen.mid(shown.size())).toStdString();
  }
  return QFile::encodeName(chosen).toStdString();
}

int SavePictureDialog::ChosenFilterIndex() const {
  // Depending on the Qt version, the whole filter or only the description shown.
  const QString chosen = selectedNameFilter();
  qsizetype i = filters_.indexOf(chosen);
  if (i < 0) i = descriptions_.indexOf(chosen);
  return int(i) + 1;
}

bool ExecSaveDialog(QWidget* parent, TSavePictureDialog& settings, const std::string& saving) {
  SavePictureDialog dialog(parent, settings, saving);
  if (dialog.exec() != QDialog::Accepted) return false;
  const std::string chosen = dialog.ChosenFile();
  if (chosen.empty()) return false;
  settings.FileName = chosen;
  if (int index = dialog.ChosenFilterIndex(); index > 0) settings.FilterIndex = index;
  return true;
}

}  // namespace quendra::qt
