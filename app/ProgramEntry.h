#pragma once
// The program is two pieces: the zelkora executable, which makes the
// one-copy test and hands a second copy's work over to the running copy
// with nothing but QtCore and the message channel, and libzelkora.so, the
// rest of the program, which the executable opens only when it goes on to
// run (a second copy never loads Qt Widgets and the forty libraries behind
// it).

// How the executable found things before it entered the program.
enum ZelkoraStart : int {
    // The first copy: the executable holds the running copy's lock, open
    // for the process's whole life; the program does not test again.
    ZelkoraFirstCopy = 0,
    // Another copy runs (or no lock could be had) and the hand-over through
    // the channel did not succeed: the program tests again and goes on with
    // what is left (the running copy's window, the messages).
    ZelkoraHandOverFailed = 1,
};

// The program's entry in libzelkora.so.
extern "C" int ZelkoraProgramMain(int argc, char **argv, int start);
#define ZK_PROGRAM_ENTRY "ZelkoraProgramMain"
