#pragma once
// Translates a window and everything it owns from a string table, finding
// controls by objectName: ".Caption", ".Hint", ".Items", ".Items0".., ".Text".
#include <QObject>
#include <QString>

#include "shell/mirel_lang.h"

namespace kd {

void ApplyLocale(QObject* component, const TMirelLang& lang);

// A table value as a Qt string with CR LF turned into a line break.
QString LangText(const std::string& value);
QString Translated(const TMirelLang& lang, const char* name, const char* def);

}  // namespace kd
