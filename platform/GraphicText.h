#pragma once
// The picture classes' messages in the program's language. The program
// installs the texts of its current language (key -> text) at start and on
// every language change; a key missing there, or no texts at all (tests,
// tools), gives the German text. Safe from any thread: conversions run on
// workers while the user may switch the language.
#include <QHash>
#include <QString>

namespace zk {

void SetGraphicTexts(const QHash<QString, QString> &texts);
QString GraphicText(const char *key, const QString &german);
// "<lead in the program's language>: <detail>", the form of a damaged-file
// message: the lead says what happened, the detail where.
QString GraphicFault(const char *key, const QString &german, const QString &detail);
// "<file> cannot be opened: <why>" in the program's language.
QString GraphicCannotOpen(const QString &fileName, const QString &why);
// The message for a picture of width x height beyond the pixel limit.
QString GraphicTooLarge(qint64 width, qint64 height, qint64 limit);

} // namespace zk
