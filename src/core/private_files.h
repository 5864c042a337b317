#pragma once

#include <QString>

// Settings may hold a server password, the queue scan texts: what the agent keeps
// on disk is its user's alone. Both narrow wider modes left by older versions.

// Creates the folder if needed and makes it 0700. False when either failed.
bool makePrivateFolder(const QString& folder);
// Makes an existing file 0600; true when there is no such file.
bool makePrivateFile(const QString& path);
