// Entry data moves through one buffer of exactly the entry's size at a time,
// allocated for the entry and released before the next.

#ifndef ARCHIVE_ENTRY_BUFFER_H_
#define ARCHIVE_ENTRY_BUFFER_H_

// Lets every entry's buffer reuse the memory of the one before it. Call once,
// before the first entry.
void ReuseEntryBuffers();

#endif  // ARCHIVE_ENTRY_BUFFER_H_
