// The music library seen from the library serving it: its names used as the
// library's own, and its error codes and sounds as the interface names them.
// They share the interface's values, so each translation is a cast that the
// asserts below keep exact.
#ifndef LIBSPOTIFY_SRC_CATALOGUE_TYPES_H
#define LIBSPOTIFY_SRC_CATALOGUE_TYPES_H

#include "catalogue/catalogue.h"
#include "libspotify/api.h"
#include "libspotify/local.h"
#include "media/synth.h"

namespace splocal {

using namespace music;

static_assert(static_cast<int>(ErrorCode::Ok) == SP_ERROR_OK);
static_assert(static_cast<int>(ErrorCode::TrackNotPlayable) == SP_ERROR_TRACK_NOT_PLAYABLE);
static_assert(static_cast<int>(ErrorCode::IsLoading) == SP_ERROR_IS_LOADING);
static_assert(kMaxErrorCode == SP_ERROR_IS_LOADING);
static_assert(static_cast<int>(SoundKind::Tone) == SPLOCAL_SOUND_TONE);
static_assert(static_cast<int>(SoundKind::Ramp) == SPLOCAL_SOUND_RAMP);
static_assert(kSoundKinds == SPLOCAL_SOUND_RAMP + 1);

inline sp_error to_sp_error(ErrorCode code) {
    return static_cast<sp_error>(code);
}

inline ErrorCode to_error_code(sp_error error) {
    return static_cast<ErrorCode>(error);
}

// Any int: the catalogue refuses what is out of range.
inline SoundKind to_sound_kind(splocal_sound sound) {
    return static_cast<SoundKind>(sound);
}

} // namespace splocal

#endif
