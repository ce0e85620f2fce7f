// Lending the block the device is playing to the main window, and retiring
// it when the device has played it.

#include "audio/block_lending.h"

#include "platform/win32_owners.h"

#include <cstdlib>

bool block_lending_init(BlockLending *lending, HWND window) {
    lending->window = window;
    lending->lent = nullptr;
    lending->reading = nullptr;
    lending->reader_frees = false;
    lending->mutex = CreateMutexA(nullptr, FALSE, nullptr);
    return lending->mutex != nullptr;
}

void block_lending_lend(BlockLending *lending, PcmBlock *block) {
    const MutexHold hold(lending->mutex);
    lending->lent = block;
}

void block_lending_retire(BlockLending *lending, PcmBlock *block) {
    bool being_read = false;
    {
        const MutexHold hold(lending->mutex);
        if (lending->lent == block)
            lending->lent = nullptr;
        being_read = lending->reading == block;
        if (being_read)
            lending->reader_frees = true;
    }
    if (!being_read)
        std::free(block);
}

const PcmBlock *block_lending_borrow(BlockLending *lending, const PcmBlock *block) {
    if (!block)
        return nullptr;
    const MutexHold hold(lending->mutex);
    if (!hold.held() || lending->lent != block || lending->reading != nullptr)
        return nullptr; // not lent, already being read, or no lock to look under
    lending->reading = lending->lent;
    return block;
}

void block_lending_give_back(BlockLending *lending) {
    PcmBlock *mine = nullptr;
    {
        const MutexHold hold(lending->mutex);
        mine = lending->reader_frees ? lending->reading : nullptr;
        lending->reading = nullptr;
        lending->reader_frees = false;
    }
    std::free(mine); // null unless the thread retired the block during the read
}
