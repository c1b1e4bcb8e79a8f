// A hook called before each change the launcher makes to a file of the game or of its
// temporary folder (a create, a whole-file write, a move's copy and its delete, a delete, the
// version write). Only test builds install one: they end the launcher at a chosen change to
// prove that every such moment can be recovered from. Without a hook the call does nothing.
#pragma once

using ChangeHook = void (*)();
void SetChangeHook(ChangeHook hook);
void NoteFileChange();
