#pragma once

// The settings store: one message of settings, read from its file when the
// store is made and written back when it is destroyed. Every user of the
// message brackets its use with Lock() and Unlock().
//
// The file is replaced atomically (temporary file, flush, rename), so a
// crash or a full disk while writing leaves the old settings intact. A file
// that cannot be read back is copied aside with the suffix ".damaged" and
// the store starts from the defaults; a file that could not be read at all
// is not overwritten at exit.

#include <GraphicsDefs.h>
#include <Locker.h>
#include <Message.h>

class BEntry;

// One colour of the output view's colour table, by print kind.
struct irc_color_item {
    rgb_color color;
    char name[64];
};

enum { IRC_COLOR_COUNT = 6 };
extern const irc_color_item irc_color[IRC_COLOR_COUNT];

class Prefs : public BLocker
{
public:
    // folderName may be null: the file then lies in the settings directory.
    Prefs(const char* fileName, const char* folderName);
    virtual ~Prefs();

    // Never null, and the same message for the store's whole life. Not
    // locked: callers Lock() around every use.
    // Inline: the engine asks for every server line.
    BMessage* GetMsg() { return m_msg; }

    status_t LoadPrefs();
    status_t StorePrefs();
    void MakeDefault();
    void PrintToStream();

private:
    void KeepDamagedCopy();

    BEntry* m_entry;
    BMessage* m_msg;
    BMessage* m_default_msg;
    bool m_unreadable; // the file exists but could not be read
};
