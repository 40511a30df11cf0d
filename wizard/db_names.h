#pragma once
// Table and field names in the lists. A name reaches the database byte for byte, even when it is not valid
// UTF-8 (a Latin-1 name such as "caf\xe9" written by an older program): the entry keeps the bytes it came
// from, and shows them as Latin-1 text when they are not UTF-8.
#include <QString>
#include <string>

class QListWidget;
class QListWidgetItem;

namespace wizard {

QString displayName(const std::string& bytes);
// Appends an entry for `bytes` at the end of `list`.
void addName(QListWidget* list, const std::string& bytes);
// The bytes an entry stands for; an entry made from text alone stands for that text in UTF-8.
std::string nameBytes(const QListWidgetItem* item);

} // namespace wizard
