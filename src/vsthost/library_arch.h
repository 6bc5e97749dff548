// The processor architecture a library was built for, read from its file's
// header (a Windows DLL's PE machine, a shared object's ELF class), so the
// plug-in can tell an instrument it cannot load in its own process from one
// that is missing or broken.
#pragma once

namespace tavren {

enum class LibraryArch { Unknown, X86, X64 };

// What the file at path was built for; Unknown when it is no library of
// either kind (or cannot be read).
LibraryArch ReadLibraryArch(const char16_t* path);

// [pure] The same, from the file's first bytes and the bytes at the PE
// header's offset (a DLL's header need not be at its start).
LibraryArch LibraryArchOf(const unsigned char* head, unsigned long headSize, const unsigned char* pe,
                          unsigned long peSize);

// This build's own.
LibraryArch OwnArch();

}  // namespace tavren
