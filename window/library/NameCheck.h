// The names the user gives albums and songs: a name is refused when a row of the same list
// already has it, whatever the letter case; the message then shown names it.
#pragma once

#include <QString>
#include <QStringList>

// True when one of `names` equals `name` without regard to letter case. Every row counts,
// the one being renamed included, so confirming a row's own name is refused too.
bool NameTaken(const QStringList& names, const QString& name);

// The duplicate message: the entered name, one space and the looked-up tail
// ("Rock already exists.").
QString DuplicateMessage(const QString& name, const QString& tail);
