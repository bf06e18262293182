#pragma once
// Qt's own texts (file dialogs, message-box buttons) in the program's
// language: Qt's translation catalogues from the system, swapped on every
// switch of the language.
#include <QString>

namespace zk {

// The catalogue's language code for a language index ("de", "it", "es",
// "fr"); empty for English, whose texts Qt has built in.
QString QtCatalogueCode(int languageIndex);

// Installs the catalogue of the index on the application, replacing the one
// installed before. False when the catalogue is not on the system (Qt's
// texts then stay English).
bool ApplyQtTranslations(int languageIndex);

} // namespace zk
