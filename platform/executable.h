#pragma once

#include <QString>

// Where the running executable lives and what it is called. Files the system builds its own
// paths for ("Parametres.ini", "Err_Inventaire.txt") sit in its directory; its name without
// extension is the title of message boxes. Passed around as a value so that tests can stand a
// temporary directory in for the executable's.
struct Executable
{
    QString directory; // without a trailing separator, except at the root
    QString name;      // without extension

    static Executable current();
    // The directory joined with a file name, by plain concatenation of "/" and the name.
    QString beside(const QString &fileName) const;
};
