// The main window's command surface: menus, popup menus and the nine tool
// bars with every item under its own name. Only commands whose code exists
// are enabled; the rest wait, visible and greyed, for their code.
#include "MainForm.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace zk {

namespace {

struct ItemRow
{
    const char *name;   // "-" for a separator
    const char *caption;
    const char *shortcut = nullptr;
};

// Commands whose code is in place; everything else starts disabled.
const QSet<QString> &BuiltCommands()
{
    static const QSet<QString> names = {
        "FZKCloseMenuItem", "ZKCloseMenuItem", "ExitToolButton", "ZKPopupMenuItem",
        "GermanMenuItem",   "EnglishMenuItem", "ItalMenuItem",   "SpanMenuItem",
        "FranceMenuItem",   "StatBarMenuItem", "LongHintsMenuItem",
    };
    return names;
}

} // namespace

void TMainForm::RegisterItem(QAction *action, const char *name)
{
    action->setObjectName(QString::fromLatin1(name));
    m_items.insert(action->objectName(), action);
    ++m_itemRegistrations;
}

void TMainForm::RegisterCommand(QAction *action, const char *name)
{
    RegisterItem(action, name);
    // Decided before the command is on a menu or a button: a later change
    // would have every one of them look at the action again.
    action->setEnabled(BuiltCommands().contains(action->objectName()));
}

QAction *TMainForm::AddItem(QMenu *menu, const char *name, const QString &caption)
{
    if (qstrcmp(name, "-") == 0)
        return menu->addSeparator();
    auto *a = new QAction(caption, menu);
    RegisterCommand(a, name);
    menu->addAction(a);
    return a;
}

QMenu *TMainForm::AddSubMenu(QMenu *menu, const char *name, const QString &caption)
{
    QMenu *sub = menu->addMenu(caption);
    RegisterItem(sub->menuAction(), name);
    m_subMenus.insert(QString::fromLatin1(name), sub);
    return sub;
}

QMenu *TMainForm::AddPopup(const char *name)
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

TBarPopupMenu *TMainForm::AddBarPopup(const char *name)
{
    auto *menu = new TBarPopupMenu(this);
    menu->setObjectName(QString::fromLatin1(name));
    menu->VerticalText = QStringLiteral("Zelkora 5.0");
    menu->GradientStart = RGBToTColor(0x1E, 0x5A, 0xA0);
    menu->GradientEnd = RGBToTColor(0x08, 0x14, 0x28);
    return menu;
}

QAction *TMainForm::Item(const QString &name) const
{
    return m_items.value(name);
}

QMenu *TMainForm::SubMenu(const QString &itemName) const
{
    return m_subMenus.value(itemName);
}

void TMainForm::BuildMenus()
{
    // Room for every item of the menus and tool bars, grown once.
    m_items.reserve(512);
    const auto fill = [this](QMenu *menu, std::initializer_list<ItemRow> rows) {
        for (const ItemRow &r : rows) {
            QAction *a = AddItem(menu, r.name, QString::fromUtf8(r.caption));
            if (r.shortcut)
                a->setShortcut(QKeySequence(QString::fromLatin1(r.shortcut)));
        }
    };

    ZKMainMenu = new QMenuBar(this);
    ZKMainMenu->setObjectName("ZKMainMenu");
    ZKMainMenu->setNativeMenuBar(false);
    const auto top = [this](const char *name, const char *caption) {
        auto *menu = new QMenu(QString::fromUtf8(caption), ZKMainMenu);
        ZKMainMenu->addMenu(menu);
        RegisterItem(menu->menuAction(), name);
        m_subMenus.insert(QString::fromLatin1(name), menu);
        return menu;
    };

    // The popup menus first: some of them hang inside the main menu.
    ScanShapePopupMenu = AddPopup("ScanShapePopupMenu");
    RecentPopupMenu = AddPopup("RecentPopupMenu");
    FocObjPopupMenu = AddPopup("FocObjPopupMenu");
    TrayBarPopupMenu = AddBarPopup("TrayBarPopupMenu");
    ZKStatBarPopupMenu = AddBarPopup("ZKStatBarPopupMenu");
    MarkColrPopupMenu = AddPopup("MarkColrPopupMenu");
    AntiaPopupMenu = AddPopup("AntiaPopupMenu");
    ScalePopupMenu = AddPopup("ScalePopupMenu");
    GrEdtBarPopupMenu = AddBarPopup("GrEdtBarPopupMenu");
    MenStatBarPopupMenu = AddBarPopup("MenStatBarPopupMenu");

    fill(ScanShapePopupMenu, {{"RectMenuItem", "Rechteck"},
                              {"TriangleMenuItem", "Dreieck"},
                              {"RoundRectMenuItem", "Rundeck"},
                              {"EllipseMenuItem", "Ellipse"},
                              {"ObjectMenuItem", "Objekt"},
                              {"DeskMenuItem", "Desktop"},
                              {"CoordMenuItem", "Koordinaten"},
                              {"AviVdoMenuItem", "AVI-Sequenz"},
                              {"WEMenuItem", "Windowselemente"},
                              {"ScanTwainMenuItem", "Twain"},
                              {"ScanFileMenuItem", "Dateien"},
                              {"ScanTxtMenuItem", "Text"},
                              {"QuorvMenuItem", "Remote-PC"}});

    const char *const paletteItems[kToolBarCount][2] = {
        {"StandardMenuItem", "Standard"},      {"GrafikEditMenuItem", "Grafik-Tools"},
        {"CutterMenuItem2", "Zuschneide-Tool"}, {"WordMenuItem", "Word"},
        {"Optionen2MenuItem", "Optionen"},     {"Help2MenuItem", "Hilfe"},
        {"ExitMenuItem", "Beenden"},           {"XtrasMenuItem", "Extras"},
        {"View2MenuItem", "Ansicht"}};
    for (int tag = 0; tag < kToolBarCount; ++tag) {
        QAction *a = AddItem(MenStatBarPopupMenu, paletteItems[tag][0],
                             QString::fromUtf8(paletteItems[tag][1]));
        a->setCheckable(true);
        a->setProperty("Tag", tag);
    }
    fill(MenStatBarPopupMenu, {{"-", ""},
                               {"WriteStdValsMenuItem", "Als Standard speichern"},
                               {"SetMPUndoMenuItem", "Zurücksetzen"}});

    fill(TrayBarPopupMenu, {{"ZKPopupMenuItem", "&Anzeigen/Verbergen"},
                            {"-", ""},
                            {"ScanMenuItem2", "&Scannen"},
                            {"Desk3MenuItem", "Desktop"},
                            {"Coord3MenuItem", "Koordinaten"},
                            {"AviVdo3MenuItem", "AVI-Sequenz"},
                            {"WE3MenuItem", "Windowselemente"},
                            {"ScanTwain3Menuitem", "Twain"},
                            {"ScanFile3MenuItem", "Dateien"},
                            {"ScanTxt3MenuItem", "Text"},
                            {"Quorv3MenuItem", "Remote-PC"},
                            {"-", ""},
                            {"SettingsMenuItem2", "&Einstellungen..."},
                            {"-", ""},
                            {"ZKCloseMenuItem", "&Beenden"}});

    QMenu *datei = top("DateiMenuItem", "&Datei");
    fill(datei, {{"OpenMenuItem", "&Öffnen...", "Ctrl+O"},
                 {"NewOpenMenuItem", "&Zuletzt geöffnet"},
                 {"SaveMenuItem", "Speichern &unter...", "Ctrl+S"},
                 {"ASMenuItem", "Schnell&speichern"},
                 {"FileAsBmpMenuItem", "Dateien als &Bitmap öffnen"},
                 {"AviLoadMenuItem", "&AVI laden..."},
                 {"-", ""},
                 {"PrintMenuItem", "&Drucken...", "Ctrl+P"},
                 {"PrintPrevMenuItem", "Druck&vorschau..."},
                 {"-", ""},
                 {"EMailSetMenuItem", "&Senden..."},
                 {"-", ""},
                 {"FZKCloseMenuItem", "&Beenden"}});

    QMenu *edit = top("BearbeitenMenuItem", "&Bearbeiten");
    fill(edit, {{"UndoMenuItem", "&Rückgängig", "Ctrl+Z"},
                {"-", ""},
                {"CutMenuItem", "&Ausschneiden", "Ctrl+X"},
                {"CopyMenuItem", "&Kopieren", "Ctrl+C"},
                {"CopyToClpbMenuItem", "Kopieren als Grafik"},
                {"CopyToClpb2MenuItem", "Kopieren als Datei"},
                {"PasteMenuItem", "&Einfügen", "Ctrl+V"},
                {"-", ""},
                {"ScanMenuItem", "&Scannen", "Ctrl+D"},
                {"Desk2MenuItem", "Desktop"},
                {"Coord2MenuItem", "Koordinaten"},
                {"AviVdo2MenuItem", "AVI-Sequenz"},
                {"WE2MenuItem", "Windowselemente"},
                {"ScanTwain2MenuItem", "Twain"},
                {"ScanFile2MenuItem", "Dateien"},
                {"ScanTxt2MenuItem", "Text"},
                {"Quorv2MenuItem", "Remote-PC"},
                {"-", ""},
                {"ScanTFMenuItem", "Form &gefüllt"},
                {"KoordLoupMenuItem", "Koordinaten-&Lupe"},
                {"PrintScanMenuItem", "Scan &drucken"},
                {"TimeScanMenuItem", "&Zeitgesteuerter Scan"},
                {"AutoFileMenuItem", "&Automatisch speichern"},
                {"-", ""}});
    // The scanner's own commands, right after the capture sources.
    QMenu *twain = AddSubMenu(edit, "TwainMenuItem", "T&wain");
    fill(twain, {{"DoScanTwainMenuItem", "&Scannen..."},
                 {"KodakScanMenuItem", "Scannen in &Datei..."},
                 {"-", ""},
                 {"DoScanPropMenuItem", "Scanner-&Einstellungen..."}});
    edit->removeAction(twain->menuAction());
    edit->insertAction(edit->actions().value(edit->actions().indexOf(Item("Quorv2MenuItem")) + 1),
                       twain->menuAction());
    QMenu *grafik = AddSubMenu(edit, "GrafikMenuItem", "&Grafik");
    fill(grafik, {{"MirrorHMenuItem", "Spiegeln horizontal"},
                  {"MirrorVMenuItem", "Spiegeln vertikal"},
                  {"RotateMenuItem", "Rotieren"},
                  {"InvertMenuItem", "Invertieren"},
                  {"GrayStepMenuItem", "Graustufen"},
                  {"HellMenuItem", "Heller"},
                  {"DarkMenuItem", "Dunkler"},
                  {"MoreKontrMenuItem", "Kontrast"},
                  {"GlttenMenuItem", "Glätten (fester Wert)"},
                  {"GlttenMenuItem2", "Glätten (Benutzerdefiniert)..."},
                  {"RGBChanMenuItem", "Farbkanäle modifizieren..."},
                  {"-", ""},
                  {"TmpScaleMenuItem", "Temporär..."},
                  {"Scale2MenuItem", "Persistent..."},
                  {"JpgScaleMenuItem", "&JPEG skalieren..."},
                  {"-", ""},
                  {"BorderMenuItem", "&Rahmen erzeugen..."},
                  {"TxtInpMenuItem", "Te&xt einfügen...", "Ctrl+Shift+T"},
                  {"FeetLineMenuItem", "Fuß&note einfügen..."},
                  {"ClonedMenuItem", "&Klonen"},
                  {"CentreMenuItem", "&Zentrieren"},
                  {"NumMenuItem", "Nummerierung...", "Ctrl+Alt+N"}});
    fill(edit, {{"CutterMenuItem", "&Zuschneiden", "Ctrl+Alt+X"}, {"CutterEnterMenuItem", "Z&uschneiden (Enter)", "Ctrl+Shift+X"}});
    QMenu *stamps = AddSubMenu(edit, "CursorStampMenuItem", "&Mauszeiger einfügen");
    fill(stamps, {{"DefaultMenuItem", "Standard"},       {"AppStartMenuItem", "Programmstart"},
                  {"CrossMenuItem", "Kreuz"},            {"DragMenuItem", "Ziehen"},
                  {"HandPointMenuItem", "Hand"},         {"HelpMPointerMenuItem", "Hilfe"},
                  {"HourGlassMenuItem", "Sanduhr"},      {"VSplitMenuItem", "Teilen vertikal"},
                  {"BeamMenuItem", "Textcursor"},        {"MultiDragMenuItem", "Mehrfach ziehen"},
                  {"NoMenuItem", "Verboten"},            {"NoDropMenuItem", "Nicht ablegen"},
                  {"SizeAllMenuItem", "Größe alle"},     {"SizeNSMenuItem", "Größe N-S"},
                  {"SizeMEMenuItem", "Größe W-O"},       {"SQLWaitMenuItem", "SQL-Warten"},
                  {"UpArrowMenuItem", "Pfeil hoch"},     {"HSplitMenuItem", "Teilen horizontal"},
                  {"SizeNESWMenuItem", "Größe NO-SW"},   {"SizeNWSEMenuItem", "Größe NW-SO"},
                  {"TestMenuItem", "Aus&suchen...", "Ctrl+Alt+M"}});

    QMenu *view = top("ViewMenuItem", "&Ansicht");
    fill(view, {{"WinDimMenuItem", "Fenster an&passen"},
                {"DocCentMenuItem", "Grafik &zentrieren"},
                {"GsMenuItem", "Grafik &stretchen"},
                {"DocFocMenuItem", "Grafik &fokusieren"},
                {"TransMenuItem", "&Transparenz"},
                {"CoordNetMenuItem", "Koordinaten &Gitter"},
                {"-", ""},
                {"FullScreenMenuItem", "Ganzer &Bildschirm"},
                {"NormViewMenuItem", "Normalansicht"},
                {"ObjStretchMenuItem", "Objekt stretchen"},
                {"-", ""},
                {"FileExMenuItem", "Datei-E&xplorer"},
                {"FileOutputMenuItem", "Te&xtausgabe"},
                {"StatBarMenuItem", "&Statusleiste"},
                {"LongHintsMenuItem", "Einteilige Statusleiste"},
                {"ColViewMenuItem", "&Farbcodes"},
                {"XPStyleMenuItem", "&XP-Stil"},
                {"-", ""}});

    QMenu *extras = top("ExtrasMenuItem", "&Extras");
    fill(extras, {{"ExtGraphMenuItem", "Externer &Grafikeditor"},
                  {"ExtGraphHKMenuItem", "Hotkey-Ausgabe an e&xternen Editor"},
                  {"ExtGrEdtMenuItem", "Externen Grafikeditor &wählen..."},
                  {"-", ""},
                  {"FileManagerMenuItem", "Grafik&viewer"}});
    fill(AddSubMenu(extras, "FindMenuItem", "&Suchen"), {{"FileSysFindMenuItem", "Dateis&ystem"}});
    fill(extras, {{"-", ""},
                  {"ScriptMenuItem", "S&kript ausführen"},
                  {"SplitMenuItem", "Splitten/Zusammenführen..."},
                  {"BmpKachMenuItem", "Bitmap kacheln..."},
                  {"BmpsToAviMenuItem", "Bitmaps in AVI-Frames..."},
                  {"WaterMenuItem", "Wasserzeichen..."},
                  {"FileExtIconMenuItem", "Dateierweiterungs-&Icon..."},
                  {"ExeDllExtractMenuItem", "Aus Exe/&Dll..."},
                  {"AviExtractMenuItem", "Aus &AVI..."},
                  {"ThumbMenuItem", "Thumb&nails..."}});
    fill(AddSubMenu(extras, "KonvertMenuItem", "&Konvertieren"),
         {{"EinzelnMenuItem", "D&atei..."}, {"MoreMenuItem", "&Ordner..."}, {"ChoiceMenuItem", "Aus&wahl..."}});
    fill(AddSubMenu(extras, "PreviewMenuItem", "&Vorschau"),
         {{"ACFileMenuItem", "&Automatisch erzeugte Dateien"},
          {"FastFileMenuItem", "Schne&llgespeicherte Dateien"},
          {"ChoiceDirMenuItem", "&Wählbares Verzeichnis..."}});
    fill(AddSubMenu(extras, "GalerieMenuItem", "Bild-&Galerie"), {{"OnePageMenuItem", "&Einseitig..."}});
    fill(extras, {{"-", ""},
                  {"InvScrMenuItem", "Bildschirm invertieren"},
                  {"DskIcOutMenuItem", "Desktop-Icons ausblenden"},
                  {"DskIcInMenuItem", "Desktop-Icons einblenden"},
                  {"TskbOutMenuItem", "Taskbar ausblenden"},
                  {"TskbInMenuItem", "Taskbar einblenden"},
                  {"WinMinMenuItem", "Alle Fenster minimieren"}});

    QMenu *options = top("OptionenMenuItem", "&Optionen");
    fill(options, {{"SettingsMenuItem", "&Einstellungen..."}, {"-", ""}});
    QMenu *lang = AddSubMenu(options, "LangMenuItem", "&Sprache");
    const char *const languages[5][2] = {{"GermanMenuItem", "&Deutsch"},
                                         {"EnglishMenuItem", "&English"},
                                         {"ItalMenuItem", "&Italiano"},
                                         {"SpanMenuItem", "E&spañol"},
                                         {"FranceMenuItem", "&Français"}};
    for (int tag = 0; tag < 5; ++tag) {
        QAction *a = AddItem(lang, languages[tag][0], QString::fromUtf8(languages[tag][1]));
        a->setCheckable(true);
        a->setProperty("Tag", tag);
    }

    QMenu *win = top("WinMenuItem", "&Fenster");
    fill(win, {{"DirExMenuItem", "&Verzeichnis-Explorer"},
               {"FileEx2MenuItem", "&Datei-Explorer"},
               {"TxtOutMenuItem", "Te&xtausgabe"},
               {"AviMenuItem", "&AVI-Editor"},
               {"QuorvexMenuItem", "&Quorvex"},
               {"-", ""},
               {"TreeMenuItem", "&Verzeichnisbaum"},
               {"Reg2MenuItem", "&Registerkarten"},
               {"FileEx3MenuItem", "Datei-E&xplorer", "Ctrl+Alt+E"},
               {"-", ""},
               {"FEMagMenuItem", "Datei-Explorer &anheften"},
               {"ExpDim2MenuItem", "Explorerteile in gleicher Grösse"},
               {"ChRealDir3MenuItem", "In Realverzeichnis wechseln"},
               {"OnlyGraphTyp3MenuItem", "Nur Grafikdateien anzeigen"},
               {"-", ""},
               {"InternMenuItem", "Dat&um..."},
               {"NewDir2MenuItem", "Neues Verzeichnis anlegen..."},
               {"DirDel2MenuItem", "Verzeichnis löschen..."},
               {"NodesExp3MenuItem", "Alle Knoten auf"},
               {"NodesColapse3MenuItem", "Alle Knoten zu"},
               {"Refresh2MenuItem", "Aktualisieren"}});
    const std::pair<const char *, int> winTags[] = {{"TreeMenuItem", 0}, {"Reg2MenuItem", 1}, {"FileEx3MenuItem", 2},
                                                    {"FileEx2MenuItem", 2}, {"TxtOutMenuItem", 3}, {"AviMenuItem", 4},
                                                    {"QuorvexMenuItem", 5}, {"NodesExp3MenuItem", 0},
                                                    {"NodesColapse3MenuItem", 1}};
    for (const auto &[name, tag] : winTags)
        Item(QString::fromLatin1(name))->setProperty("Tag", tag);

    QMenu *help = top("HelpMenuItem", "&Hilfe");
    // "Inf&o..." stands last here: on X11 the window manager owns the window
    // menu, so the command cannot go there.
    fill(help, {{"HandbuchMenuItem", "Hand&buch", "F1"},
                {"KeyboardMenuItem", "&Tastatur Belegung..."},
                {"ReadmeMenuItem", "R&eadme"},
                {"LizenceMenuItem", "Lizen&z"},
                {"-", ""},
                {"InfoMenuItem", "Inf&o..."}});

    for (const char *name : {"ScanTFMenuItem", "KoordLoupMenuItem", "PrintScanMenuItem",
                             "TimeScanMenuItem", "AutoFileMenuItem", "FileAsBmpMenuItem",
                             "WinDimMenuItem", "DocCentMenuItem", "GsMenuItem", "DocFocMenuItem",
                             "TransMenuItem", "CoordNetMenuItem", "FileExMenuItem",
                             "FileOutputMenuItem", "StatBarMenuItem", "LongHintsMenuItem",
                             "ColViewMenuItem", "XPStyleMenuItem", "ExtGraphMenuItem",
                             "ExtGraphHKMenuItem", "FEMagMenuItem", "ExpDim2MenuItem",
                             "OnlyGraphTyp3MenuItem"})
        Item(QString::fromLatin1(name))->setCheckable(true);
}

void TMainForm::BuildToolBars()
{
    const auto bar = [this](const char *name, const char *title) {
        auto *tb = new QToolBar(QString::fromUtf8(title), this);
        tb->setObjectName(QString::fromLatin1(name));
        return tb;
    };
    const auto buttons = [this](QToolBar *tb, std::initializer_list<ItemRow> rows) {
        for (const ItemRow &r : rows) {
            if (qstrcmp(r.name, "-") == 0) {
                tb->addSeparator();
                continue;
            }
            auto *a = new QAction(QString::fromUtf8(r.caption), tb);
            RegisterCommand(a, r.name);
            tb->addAction(a);
        }
    };

    MenuToolBar = bar("MenuToolBar", "Menü");
    MenuToolBar->addWidget(ZKMainMenu);
    MenuToolBar->setMinimumWidth(227);

    StandardToolBar = bar("StandardToolBar", "Standard");
    buttons(StandardToolBar, {{"ScanToolButton", "Scannen"},
                              {"FileOptenToolButton", "Öffnen"},
                              {"SaveToolButton", "Speichern"},
                              {"FastSaveToolButton", "Schnellspeichern"},
                              {"-", ""},
                              {"CopyToolButton", "Kopieren"},
                              {"PasteToolButton", "Einfügen"},
                              {"-", ""},
                              {"PrintToolButton", "Drucken"},
                              {"PrPrevToolButton", "Druckvorschau"},
                              {"-", ""},
                              {"AutoFileToolButton", "Automatisch speichern"},
                              {"CoordLoupeToolButton", "Koordinaten-Lupe"},
                              {"PrintScanToolButton", "Scan drucken"},
                              {"TimeScanToolButton", "Zeitgesteuerter Scan"},
                              {"FileAsBmpToolButton", "Als Bitmap öffnen"},
                              {"AviLoadToolButton", "AVI laden"},
                              {"StdSendToolButton", "Senden"}});
    if (auto *scanButton = qobject_cast<QToolButton *>(StandardToolBar->widgetForAction(Item("ScanToolButton")))) {
        scanButton->setMenu(ScanShapePopupMenu);
        scanButton->setPopupMode(QToolButton::MenuButtonPopup);
    }

    GrafikEditToolBar = bar("GrafikEditToolBar", "Grafik-Tools");
    buttons(GrafikEditToolBar, {{"MirrorHToolButton", "Spiegeln horizontal"},
                                {"MirrorVToolButton", "Spiegeln vertikal"},
                                {"RotateToolButton", "Rotieren"},
                                {"InvertToolButton", "Invertieren"},
                                {"GrayStepToolButton", "Graustufen"},
                                {"HellToolButton", "Heller"},
                                {"DarkToolButton", "Dunkler"},
                                {"MoreKontrToolButton", "Kontrast"},
                                {"GlattToolButton", "Glätten"},
                                {"RGBChanToolButton", "Farbkanäle"},
                                {"ScaleToolButton", "Skalieren"},
                                {"JpgScaleToolButton", "JPEG skalieren"},
                                {"MarkToolButton", "Markieren"},
                                {"NumToolButton", "Nummerieren"}});

    CutterToolBar = bar("CutterToolBar", "Zuschneide-Tool");
    buttons(CutterToolBar, {{"CutterToolButton", "Zuschneiden"}, {"CutterEnterToolButton", "Zuschneiden (Enter)"}});

    WordToolBar = bar("WordToolBar", "Word");
    buttons(WordToolBar, {{"WordToolButton", "An Word senden"},
                          {"MultiSendToolButton", "Mehrfach senden"},
                          {"EMailSetToolButton", "E-Mail"}});

    OptionsToolBar = bar("OptionsToolBar", "Optionen");
    buttons(OptionsToolBar, {{"SettingsToolButton", "Einstellungen"},
                             {"ColViewToolButton", "Farbcodes"},
                             {"FleExtToolButton", "Dateierweiterungen"}});

    HelpToolBar = bar("HelpToolBar", "Hilfe");
    buttons(HelpToolBar, {{"Help2ToolButton", "Handbuch"}, {"KeybHlpToolButton", "Tastatur Belegung"}});

    ExitToolBar = bar("ExitToolBar", "Beenden");
    buttons(ExitToolBar, {{"ExitToolButton", "Beenden"}});

    XtrasToolBar = bar("XtrasToolBar", "Extras");
    buttons(XtrasToolBar, {{"ExtGraphToolButton", "Externer Grafikeditor"},
                           {"ExtGraphHKToolButton", "Hotkey-Ausgabe extern"},
                           {"ScriptToolButton", "Skript ausführen"},
                           {"SplitToolButton", "Splitten/Zusammenführen"},
                           {"ConvertToolButton", "Konvertieren"},
                           {"ExtrToolButton", "Icons extrahieren"}});

    ViewToolBar = bar("ViewToolBar", "Ansicht");
    buttons(ViewToolBar, {{"WinDimToolButton", "Fenster anpassen"},
                          {"DocCentToolButton", "Grafik zentrieren"},
                          {"GsToolButton", "Grafik stretchen"},
                          {"DocFocToolButton", "Grafik fokusieren"},
                          {"FullScreenToolButton", "Ganzer Bildschirm"}});

    for (const char *name : {"AutoFileToolButton", "CoordLoupeToolButton", "PrintScanToolButton",
                             "FileAsBmpToolButton", "TimeScanToolButton"})
        Item(QString::fromLatin1(name))->setCheckable(true);

    // The control bar: the menu on the first row, the tool bars below it in
    // the order of the palette table.
    addToolBar(Qt::TopToolBarArea, MenuToolBar);
    addToolBarBreak(Qt::TopToolBarArea);
    for (QToolBar *tb : {StandardToolBar, GrafikEditToolBar, CutterToolBar, WordToolBar,
                         OptionsToolBar, HelpToolBar, ExitToolBar, XtrasToolBar, ViewToolBar})
        addToolBar(Qt::TopToolBarArea, tb);
    // As the window defines them: the standard, picture-tool and crop bars show.
    for (QToolBar *tb : {WordToolBar, OptionsToolBar, HelpToolBar, ExitToolBar, XtrasToolBar, ViewToolBar})
        tb->setVisible(false);
}

} // namespace zk
