// Where the streaming library's decoded audio enters the program: each
// delivery is copied into a new PcmBlock and queued, with back-pressure.
// Both handlers run on the library's threads and take only the queue's mutex.
#pragma once

#include <libspotify/api.h>

// Queues a copy of the delivered frames and returns their number, or returns
// 0 (nothing taken) while more than one second of frames is queued or when
// the block cannot be allocated; the library then offers the frames again.
int on_music_delivery(sp_session *session, const sp_audioformat *format, const void *frames,
                      int num_frames);

// The account started playing elsewhere: drops the queued audio.
void on_play_token_lost(sp_session *session);
