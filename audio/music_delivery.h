// Where the streaming library's decoded audio enters the program: each
// delivery is copied into a new PcmBlock and queued, with back-pressure.
// The session's handlers for the library's music_delivery and
// play_token_lost slots (session/session_controller.h) call this with the
// session's queue; it runs on the library's delivering thread, keeps no
// state of its own and takes only the queue's mutex (the allocation and the
// copy are made without a lock).
#pragma once

#include <libspotify/api.h>

struct PcmQueue;

// Queues a copy of the delivered frames and returns their number, or returns
// 0 (nothing taken) while more than one second of frames is queued or when
// the block cannot be allocated; the library then offers the frames again.
int queue_delivery(PcmQueue *queue, const sp_audioformat *format, const void *frames,
                   int num_frames);
