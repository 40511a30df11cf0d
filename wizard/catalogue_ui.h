#pragma once
// The table page's list as the wizard's knowledge of which tables a database has, and the connection
// string every page builds from the database page's two boxes.
#include <string>

class QListWidget;
class QString;

namespace wizard {

// Built afresh from the current text of the database page's path and password boxes.
std::string BuildConnectionString();

// Clears `listBox` and fills it with the database's ordinary tables, selecting the first. Leaves it as it
// was when no file exists at `path`. The connection itself always comes from BuildConnectionString();
// `password` is accepted for the callers' sake and not used.
void AddTablesToAccessListbox(QListWidget* listBox, const std::string& path, const std::string& password);

// Whether `name` is an entry of the table page's list, compared exactly (case and blanks count).
bool IsTableListed(const std::string& name);
bool isListed(const QListWidget* list, const QString& name);

} // namespace wizard
