#pragma once
// SPD on Qt: Qt's own file dialog (never the desktop's native one, so it looks and behaves
// the same everywhere and tests can drive it), with a picture preview beside the file list.
#include <QFileDialog>
#include <string>
#include <utility>
#include <vector>

#include "app/save_dialog_settings.h"

namespace quendra::qt {

class PicturePreview;

class SavePictureDialog : public QFileDialog {
  Q_OBJECT
 public:
  // Set up from the settings: title, default suffix, filters, filter index, folder, name.
  // saving: the picture file being saved (UTF-8 bytes), previewed while the proposed name
  // names no file.
  SavePictureDialog(QWidget* parent, const TSavePictureDialog& settings,
                    const std::string& saving = {});
  PicturePreview* Preview() const { return preview_; }
  // The chosen file as bytes and the 1-based index of the chosen filter. Qt shows a name that
  // is not valid UTF-8 lossily; what the user kept of the proposed name and folder keeps its
  // own bytes.
  std::string ChosenFile() const;
  int ChosenFilterIndex() const;

 private:
  QStringList filters_, descriptions_;
  // Bytes of the proposal and how Qt shows them, longest first.
  std::vector<std::pair<std::string, QString>> kept_;
  PicturePreview* preview_ = nullptr;
};

// Shows the dialog modally; on confirmation writes the name and filter index back.
bool ExecSaveDialog(QWidget* parent, TSavePictureDialog& settings, const std::string& saving = {});

}  // namespace quendra::qt
