#pragma once

// The settings log: the current settings and every category with its links,
// as a small HTML page for reading or printing.

#include <functional>

#include <QString>

#include "Kvguiglobals.h"

class QWidget;

// The page for the first categoryCount categories of model. Text from the
// model is escaped, so a name can hold "<" or "&" and stay a name.
QString SettingsLogPage(const KVUIOperationClass &model, int categoryCount);

// Asks for a file (the save dialog), refreshes the clock texts, and writes
// the page there; a file that cannot be written is reported to owner.
void WriteSettingsLog(QWidget *owner, int categoryCount, const std::function<void()> &refreshClockTexts);
