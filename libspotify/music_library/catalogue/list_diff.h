// The smallest edit between two orderings of a playlist's tracks (or any
// list of keys): the entries of the old list that are gone, the entries
// that stay but change their place, and the new ones. Entries are matched
// by key, equal keys in their order, so an entry that changes place is a
// move and never a removal and an addition; the entries that keep their
// place are a longest run in order, so moves are as few as they can be.
#ifndef MUSIC_LIBRARY_CATALOGUE_LIST_DIFF_H
#define MUSIC_LIBRARY_CATALOGUE_LIST_DIFF_H

#include <string>
#include <vector>

namespace music {

struct ListMove {
    std::vector<int> positions; // ascending, before the move
    int new_position = 0;       // before the move: the moved entries go before it
};

struct ListInsert {
    int position = 0; // where the first goes; also its index in the new list
    int count = 0;    // the entries of the new list from `position` on
};

struct ListEdit {
    std::vector<int> old_of_new;     // for each new entry, the old one it is, or -1
    std::vector<int> removed;        // old positions, ascending: done first
    std::vector<ListMove> moves;     // then these, one after the other
    std::vector<ListInsert> inserts; // then these, in order
    bool empty() const { return removed.empty() && moves.empty() && inserts.empty(); }
};

ListEdit diff_lists(const std::vector<std::string> &old_keys,
                    const std::vector<std::string> &new_keys);

} // namespace music

#endif
