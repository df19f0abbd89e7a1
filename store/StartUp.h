#pragma once

class Trap;

// The first steps of every start: the data folder and, at the first start,
// the live database (a copy of Contacts.sqlite or dbBlank.sqlite beside the
// program, or the built-in schema when neither is there). Steps 100 to 116
// of the trap given. Later starts never copy again.
void prepareDataFiles(Trap &trap);
