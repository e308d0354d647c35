// The folders of the system and of the user's shell that the removal phases
// must never remove.
#pragma once

// 1 when `path` is a drive root or shorter (fewer than 4 characters), or one
// of the system's and shell's well-known folders, else 0. After the program
// and common files folders come those that hold the user's own data and that
// a path macro names: documents, local application data, the profile, the
// all-users folder, and the 64-bit program and common files. Folders are
// compared as whole strings, ASCII letters in any case, looked up afresh at
// every call; a subfolder of one is not protected. One trailing backslash of
// `path` is ignored: it is taken off for the comparison and put back, so the
// caller finds its path unchanged.
int IsProtectedFolder(char *path);
