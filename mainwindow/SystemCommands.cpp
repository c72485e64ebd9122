#include "SystemCommands.h"

void ConnectToInternet(QWidget *) {}
void OpenRunDialog(QWidget *) {}
void ShowDesktop() {}
void EndSession(QWidget *, SessionEnd) {}
