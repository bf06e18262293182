#include "SaveAviEdtForm.h"

#include "Bitmap.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "PictureFiles.h"
#include "RecorderForm.h"
#include "RecorderLogic.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace zk {

TSaveAviEdtForm::TSaveAviEdtForm(TMainForm *main)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_main(main)
{
    setObjectName(QStringLiteral("SaveAviEdtForm"));
    setWindowTitle(QStringLiteral("AVI-Bilder bearbeiten"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    const auto add = [this, column](const char *name, const char *caption, const QKeySequence &key,
                                    void (TSaveAviEdtForm::*handler)()) {
        auto *b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QLatin1String(name));
        column->addWidget(b);
        connect(b, &QPushButton::clicked, this, handler);
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, b, [b] {
            if (b->isEnabled())
                b->click();
        });
        return b;
    };
    SaveAviBmpButton = add("SaveAviBmpButton", "AVI-Bitmap sichern (STRG+SHIFT+A)", QKeySequence("Ctrl+Shift+A"),
                           &TSaveAviEdtForm::SaveAviBmpButtonClick);
    RecorderButton = add("RecorderButton", "Recorder (STRG+SHIFT+R)", QKeySequence("Ctrl+Shift+R"),
                         &TSaveAviEdtForm::RecorderButtonClick);
    CompAviEdtButton = add("CompAviEdtButton", "AVI erzeugen... (STRG+SHIFT+C)", QKeySequence("Ctrl+Shift+C"),
                        &TSaveAviEdtForm::CompAviButtonClick);
    // Writing back needs the file list's chosen frame.
    SaveAviBmpButton->setEnabled(m_main && bool(m_main->RecorderHooks.SelectedListItem));
    adjustSize();
}

void TSaveAviEdtForm::SetLanguage(const QStringList &script, int languageIndex)
{
    SetFormLanguage(this, script, languageIndex);
}

void TSaveAviEdtForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    QWidget *list = m_main && m_main->RecorderHooks.FileListWindow ? m_main->RecorderHooks.FileListWindow() : nullptr;
    if (list && list->isVisible() && m_main->Options.MagneticFE) {
        // A docked list has its place inside the main window.
        const QRect g = list->isWindow() ? list->frameGeometry() : QRect(list->mapToGlobal(QPoint(0, 0)), list->size());
        move(g.left(), g.top() + g.height());
    } else {
        move(200, 200);
    }
}

void TSaveAviEdtForm::SaveAviBmpButtonClick()
{
    if (!m_main || !m_main->RecorderHooks.SelectedListItem)
        return;
    const QString name = m_main->RecorderHooks.SelectedListItem();
    const QString fail = m_main->Text(QStringLiteral("showmsg_no_fsave"),
                                      QStringLiteral("Das Einzelbild konnte nicht gespeichert werden!"));
    // Only a frame's own name: other names would get BMP bytes under them.
    if (!IsFrameFileName(name) || m_main->ScanImage->Picture().Empty()) {
        m_main->ShowRecorderMessage(fail);
        return;
    }
    try {
        WriteFileReplacing(m_main->Options.TmpAviPath + QLatin1Char('/') + name,
                           EncodePicture(m_main->ScanImage->Picture().Bitmap(), ptBmp, m_main->Options,
                                         TSaveOrigin::AutoSave));
    } catch (const std::exception &e) {
        m_main->ShowRecorderMessage(fail + QLatin1Char('\n') + QString::fromUtf8(e.what()));
    }
}

void TSaveAviEdtForm::RecorderButtonClick()
{
    if (m_main)
        m_main->AviVdoMenuItemClick();
    close();
}

void TSaveAviEdtForm::CompAviButtonClick()
{
    hide();
    if (m_main) {
        m_main->AviVdoMenuItemClick();
        if (m_main->RecorderForm)
            m_main->RecorderForm->CompAviButtonClick();
    }
    close();
}

QPoint TSaveAviEdtForm::SnapToMainWindow(QPoint pos) const
{
    if (!m_main || !m_main->isVisible())
        return pos;
    return zk::SnapToMainWindow(QRect(pos, frameGeometry().size()), m_main->frameGeometry()).topLeft();
}

void TSaveAviEdtForm::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_grip = event->position().toPoint();
        m_dragging = true;
    }
    QWidget::mousePressEvent(event);
}

void TSaveAviEdtForm::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(SnapToMainWindow(event->globalPosition().toPoint() - m_grip));
    else
        m_dragging = false;
    QWidget::mouseMoveEvent(event);
}

} // namespace zk
