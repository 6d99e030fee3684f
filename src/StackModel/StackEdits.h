// The stack edits: writing a record's frame source, inserting, removing, deleting and moving
// layers and texture path records. Each keeps the block, the LayerState table, the photo position
// and the selection in step. The edits work on a model (its block and its call's state); what
// belongs to whoever keeps the block (its storage and the run-time tables that follow the stack,
// the loading of frames, the previews) they ask through the narrow StackEditHost.
#pragma once

#include <cstdint>
#include <span>

#include "File.h"
#include "QuorvelBase.h"

// What a stack edit asks of the filter that keeps the block.
class StackEditHost {
public:
    // Adds delta to the layer count (or, with pathRecords, the path-record count), resizes the
    // block to match (the parameters field may get a new handle) and sizes the LayerState table
    // and the filter's own run-time tables to the stack: 0, -108 when memory is short, -30100 when
    // the stack would leave its limits.
    virtual ErrorCode ResizeStackStorage(int32_t delta, bool pathRecords) = 0;
    // A record's frame source was written and its loaded image forgotten: the next load turns
    // frames to the photo's orientation unless keepRotation.
    virtual void FrameSourceChanged(bool keepRotation) = 0;
    // The stack changed: every preview renders again.
    virtual void RestartPreviews() = 0;

protected:
    ~StackEditHost() = default;
};

class StackEdits {
public:
    StackEdits(QuorvelBase& stack, StackEditHost& host) : stack_(stack), host_(host) {}

    // Inserts a layer (or, with pathRecord, a texture path record) at record index `index` with the
    // frame's file spec; a layer inserted inside a linked group joins it, and layers keep naming
    // the textures they named. False, after alert 16005, when the stack has no room for another
    // record (32 layers, or 32 stored records) or memory is short; the block and the table are
    // then as before. Whoever offers the user a new frame refuses a stack at its layer limit first,
    // with AlertStackFull.
    bool InsertFrame(int32_t index, const FileSpec& spec, uint32_t recordId, bool pathRecord, bool keepRotation);
    // Writes record `index`'s frame source and forgets its loaded image.
    bool SetLayerRecordData(int32_t index, const FileSpec& spec, uint32_t recordId, bool keepRotation);
    // Removes record `index` (a single layer stays as the empty stack's placeholder) and keeps the
    // selection inside the stack; layers that named a removed texture name none. False for an
    // index outside the stack. A failure to shrink is raised after the size was restored.
    bool RemoveLayer(int32_t index);
    // Inserts a layer at list position `position` (the photo row pushes the photo up).
    bool InsertFrameRecord(int32_t position, const FileSpec& spec, uint32_t recordId, bool keepRotation);
    // Deletes the selected layer (its group stays joined across it), or every layer, keeping the
    // photo's row: true when an enabled layer with an image went.
    bool DeleteFrame(bool all);
    // The rows 0..N (order holds N + 1 entries) in their new order after rows a..b move to the
    // place of rows c..d: false when a position lies outside 0..N.
    static bool ComputeMoveOrder(int32_t a, int32_t b, int32_t c, int32_t d, std::span<int16_t> order);
    // Moves the linked group of list row `from` (or the photo row) to row `to`, and keeps the moved
    // row selected: false when refused (the same row, a row of the same group, a drop that would
    // split a linked group) or when memory is short, with nothing changed.
    bool MoveLayer(int32_t from, int32_t to);
    // Moves path record `from` to `to` (record indexes); layers that name textures by index keep
    // naming the same images.
    bool MovePathRecord(int32_t from, int32_t to);

    // Alert 16006, "Quorvel cannot use more than ^0 frames.", with the stack's limit of layers.
    static void AlertStackFull();

private:
    QuorvelBase& stack_;
    StackEditHost& host_;
};
