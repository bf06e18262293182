// The picture preview (browsing, slide show) and the HTML gallery, as the
// main window's tool dialogs open them.
#include "MainForm.h"

#include "ImageControl.h"
#include "ImgGalForm.h"
#include "ImgPreviewForm.h"
#include "MultiLanguage.h"
#include "Options.h"
#include "PictureFiles.h"

#include <QFileInfo>

namespace zk {

namespace {
constexpr int kFormatPanel = 6;
}

void TMainForm::SetupPreviewGallery()
{
    ToolDialogs.ScanBrowse = [this](QWidget *owner, int mode) -> QDialog * { return MakePreviewForm(owner, mode); };
    ToolDialogs.BildGalerie = [](QWidget *owner) -> QDialog * { return new TImgGalBMForm(owner); };
    ToolDialogs.PreviewPicture = [this](QWidget *owner, const QString &file) {
        std::unique_ptr<TImgPreviewBMForm> preview(MakePreviewForm(owner, 3));
        preview->SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
        preview->ShowPicture(file);
        preview->exec();
    };
    UpdateLauncherItems();
}

TImgPreviewBMForm *TMainForm::MakePreviewForm(QWidget *owner, int mode)
{
    auto *preview = new TImgPreviewBMForm(owner);
    preview->SetSources({Options.OutDir, Options.FileName, FileTypeExt(Options.FileTyp), AutosaveDir()});
    preview->SetMode(mode);
    preview->LoadIntoMain = [this](const QString &file, const TBitmap &bitmap) { LoadPreviewPicture(file, bitmap); };
    return preview;
}

void TMainForm::LoadPreviewPicture(const QString &file, const TBitmap &bitmap)
{
    // The crop rectangle belonged to the picture that is going.
    FreeCutRect();
    ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(bitmap));
    ScanImage->PictureChanged();
    if (Options.AutoWinSize)
        FitMainWindowToImage();
    FHasFileName = true;
    FFileName = file;
    const QString ext = QFileInfo(file).suffix().toLower();
    SetStatusPanelText(kFormatPanel, PanelForOpenedFile(ext, Options.OAsBmp, true));
    if (ZKStatusBar)
        ZKStatusBar->update();
}

} // namespace zk
