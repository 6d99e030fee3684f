// The preview dialog's menu commands in one table. A row holds a command's id, what runs it and
// when it is enabled: the dialog runs a command from its menus, accelerators and keys through its
// row, and its UpdateMenus enables or greys every command from the rows' tests.
#pragma once

#include <cstdint>
#include <span>

class PhotoshopDialog;

struct PreviewCommand {
    int16_t id;
    // Runs the command: 0 when handled, or the item that ends the dialog (Apply, Cancel). Null:
    // the dialog framework's edit command runs (the row only says when the command is enabled).
    int16_t (*run)(PhotoshopDialog& dialog, int16_t command);
    // Whether the command is enabled now; null: the menu keeps the state it has.
    bool (*enabled)(const PhotoshopDialog& dialog);
    // The command edits the frame stack through the dialog's editor: it becomes one undo step, as
    // an item hit does, and runs only while the editor is there.
    bool editsStack;
};

struct PreviewCommands {
    static std::span<const PreviewCommand> Table();
    // The row of a command, or null for one the table does not hold.
    static const PreviewCommand* Find(int16_t command);
};
