#pragma once

class Trap;

// The first steps of every start (steps 100 to 116 of the trap given, shared
// by the main window's Form_Load and the command line): the data folder and,
// at the first start, the live database, a copy of Contacts.sqlite or
// dbBlank.sqlite beside the program, or the built-in schema when neither is
// there. Later starts never copy again. The store does the work
// (store/StartUp.h); the numbers are the procedure's.
void prepareDataFiles(Trap &trap);
