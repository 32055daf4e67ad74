#include "platform/qt/save_dialog.h"

#include <QSplitter>
#include <vector>

#include "app/paths.h"

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

SavePictureDialog::SavePictureDialog(QWidget* parent, const TSavePictureDialog& s)
    : QFileDialog(parent, QString::fromStdString(s.Title)),
      initialDir_(s.InitialDir),
      fileName_(s.FileName) {
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

  preview_ = new PicturePreview(this);
  if (auto* splitter = findChild<QSplitter*>("splitter")) {
    splitter->addWidget(preview_);
    splitter->setStretchFactor(splitter->indexOf(preview_), 0);
  }
  connect(this, &QFileDialog::currentChanged, preview_, [this](const QString& path) {
    preview_->ShowFile(QFile::encodeName(path).toStdString());
  });
}

std::string SavePictureDialog::ChosenFile() const {
  const QStringList files = selectedFiles();
  if (files.isEmpty()) return {};
  const QString chosen = files.first();
  // The longest of the proposed name, that name without its extension and the folder that the
  // chosen one still begins with is taken as bytes; only what the user typed is encoded.
  std::vector<std::string> kept;
  if (!fileName_.empty()) {
    kept.push_back(fileName_);
    kept.push_back(fileName_.substr(0, fileName_.size() - ExtractFileExt(fileName_).size()));
  }
  if (!initialDir_.empty()) kept.push_back(AddTrailingPathDelimiter(initialDir_));
  for (const std::string& bytes : kept) {
    const QString shown = FromBytes(bytes);
    if (bytes.empty() || !chosen.startsWith(shown)) continue;
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

bool ExecSaveDialog(QWidget* parent, TSavePictureDialog& settings) {
  SavePictureDialog dialog(parent, settings);
  if (dialog.exec() != QDialog::Accepted) return false;
  const std::string chosen = dialog.ChosenFile();
  if (chosen.empty()) return false;
  settings.FileName = chosen;
  if (int index = dialog.ChosenFilterIndex(); index > 0) settings.FilterIndex = index;
  return true;
}

}  // namespace quendra::qt
