#pragma once

// The command codes that the client's own objects exchange. Each is the
// characters of its name packed into 32 bits, the first character in the
// most significant byte used.

#include <SupportDefs.h>

enum : uint32 {
    MSG_IRC = 'irc', // a classified server line (from the engine) or a command ("cmd", to it)
    MSG_INF = 'inf', // an engine status line ("txt")
    MSG_DBG = 'dbg', // a copy of raw traffic for the debug window ("debug")
    MSG_CON = 'con', // connect/disconnect; from the engine with "no_continue": it ended
    // From the engine: the server's TLS certificate was refused ("server",
    // "reason", "fingerprint": SHA-256 as "AB:CD:...", "engine").
    MSG_TLS_CERT = 'tlsc',
    MSG_NTR = 'ntr',   // Enter in a text control ("target": its model message)
    MSG_UMG = 'umg',   // model message of the input line
    MSG_TPC = 'tpc',   // model message of the topic field
    MSG_ITM = 'itm',   // a ready command text from a pop-up menu ("cmd")
    MSG_PRV = 'prv',   // open a private window ("user_name")
    MSG_MDN = 'mdn',   // secondary click in a list ("mouse")
    MSG_MFST = 'mfst', // open the settings window
    MSG_MSTT = 'mstt', // open a new server window
    MSG_003 = '003',   // bring a server window to the front
    MSG_3000 = '3000', // open the debug window
    MSG_LVCH = 'lvch', // selection changed in the server list
    MSG_MAD1 = 'mad1', // add a server entry
    MSG_MREV = 'mrev', // remove the selected server entry
};
