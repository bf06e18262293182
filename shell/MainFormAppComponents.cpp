// The main window's application components: the autostart entry and the
// application-wide events and hint settings.
#include "MainForm.h"

#include "SvcAppProperties.h"
#include "SvcAutoRun.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace zk {

void TMainForm::SetupApplicationComponents()
{
    // The user's own entry: the machine-wide one needs root, so the option
    // would do nothing. The entry follows the option from the start, so a
    // crash does not lose it; the close sets it again from the option.
    ZKsvcAutoRun = new TsvcAutoRun(this);
    ZKsvcAutoRun->setObjectName(QStringLiteral("ZKsvcAutoRun"));
    ZKsvcAutoRun->SetKind(aekUserRun);
    ZKsvcAutoRun->SetAutoRun(Options.AutoSysStart);
    ZKsvcAutoRun->Loaded();

    auto *props = new TsvcApplicationProperties(this);
    ZKsvcApplicationProperties = props;
    props->setObjectName(QStringLiteral("ZKsvcApplicationProperties"));
    props->SetHintPause(400);
    props->SetHintHidePause(3000);
    props->OnException = [this](QObject *, const QString &type, const QString &message) {
        ZKsvcApplicationPropertiesException(type, message);
    };
    // Several files dropped on the window open through the drop list.
    props->OnMessage = [this](QObject *target, QEvent *event, bool &handled) {
        if (handled || target != this || event->type() != QEvent::Drop)
            return;
        auto *drop = static_cast<QDropEvent *>(event);
        QStringList files;
        for (const QUrl &url : drop->mimeData()->urls())
            if (url.isLocalFile())
                files.append(url.toLocalFile());
        if (files.size() < 2)
            return;
        drop->acceptProposedAction();
        handled = true;
        ZKsvcApplicationPropertiesMessage(files);
    };
    // Hints can be switched off for the whole program.
    props->OnShowHint = [this](QString &, bool &canShow, QWidget *) {
        if (!Options.ControlHints)
            canShow = false;
    };
    props->Loaded();
}

} // namespace zk
