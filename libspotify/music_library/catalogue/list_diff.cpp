// The smallest edit between two lists; see list_diff.h.
#include "catalogue/list_diff.h"

#include <algorithm>
#include <cstddef>
#include <unordered_map>

namespace music {
namespace {

// Which entries of `seq` form a longest strictly rising run (n log n).
std::vector<bool> longest_rising(const std::vector<int> &seq) {
    std::vector<int> tails; // index into seq of the smallest tail of each length
    std::vector<int> before(seq.size(), -1);
    for (size_t i = 0; i < seq.size(); ++i) {
        auto at = std::lower_bound(tails.begin(), tails.end(), seq[i], [&](int t, int value) {
            return seq[static_cast<size_t>(t)] < value;
        });
        if (at != tails.begin())
            before[i] = *(at - 1);
        if (at == tails.end())
            tails.push_back(static_cast<int>(i));
        else
            *at = static_cast<int>(i);
    }
    std::vector<bool> in_run(seq.size(), false);
    for (int i = tails.empty() ? -1 : tails.back(); i >= 0; i = before[static_cast<size_t>(i)])
        in_run[static_cast<size_t>(i)] = true;
    return in_run;
}

} // namespace

ListEdit diff_lists(const std::vector<std::string> &old_keys,
                    const std::vector<std::string> &new_keys) {
    ListEdit edit;
    // Equal keys are matched in their order: the first old with the first new.
    std::unordered_map<std::string, std::vector<int>> old_by_key;
    for (size_t i = old_keys.size(); i-- > 0;)
        old_by_key[old_keys[i]].push_back(static_cast<int>(i));
    edit.old_of_new.assign(new_keys.size(), -1);
    std::vector<bool> old_kept(old_keys.size(), false);
    for (size_t j = 0; j < new_keys.size(); ++j) {
        auto found = old_by_key.find(new_keys[j]);
        if (found == old_by_key.end() || found->second.empty())
            continue;
        const int i = found->second.back();
        found->second.pop_back();
        edit.old_of_new[j] = i;
        old_kept[static_cast<size_t>(i)] = true;
    }
    for (size_t i = 0; i < old_keys.size(); ++i) {
        if (!old_kept[i])
            edit.removed.push_back(static_cast<int>(i));
    }

    // The kept entries, named by their new index: `target` in new order,
    // `current` in old order (as the list stands after the removal).
    std::vector<int> target;
    std::vector<int> old_order;
    for (size_t j = 0; j < new_keys.size(); ++j) {
        if (edit.old_of_new[j] >= 0) {
            target.push_back(static_cast<int>(j));
            old_order.push_back(edit.old_of_new[j]);
        }
    }
    std::vector<int> current = target;
    std::sort(current.begin(), current.end(), [&](int a, int b) {
        return edit.old_of_new[static_cast<size_t>(a)] < edit.old_of_new[static_cast<size_t>(b)];
    });
    const std::vector<bool> stays = longest_rising(old_order);
    std::vector<int> where(new_keys.size(), -1); // position in `current`
    auto index_current = [&] {
        for (size_t p = 0; p < current.size(); ++p)
            where[static_cast<size_t>(current[p])] = static_cast<int>(p);
    };
    index_current();
    // Each entry off the run goes right after the one before it in the new
    // order; neighbours that sit together already go together.
    for (size_t k = 0; k < target.size();) {
        if (stays[k]) {
            ++k;
            continue;
        }
        const int first = where[static_cast<size_t>(target[k])];
        size_t end = k + 1;
        while (end < target.size() && !stays[end] &&
               where[static_cast<size_t>(target[end])] == first + static_cast<int>(end - k))
            ++end;
        const int to = k == 0 ? 0 : where[static_cast<size_t>(target[k - 1])] + 1;
        if (to != first) {
            ListMove move;
            for (size_t m = k; m < end; ++m)
                move.positions.push_back(first + static_cast<int>(m - k));
            move.new_position = to;
            std::vector<int> moved(current.begin() + first,
                                   current.begin() + first + static_cast<std::ptrdiff_t>(end - k));
            current.erase(current.begin() + first,
                          current.begin() + first + static_cast<std::ptrdiff_t>(end - k));
            const int insert_at = to > first ? to - static_cast<int>(end - k) : to;
            current.insert(current.begin() + insert_at, moved.begin(), moved.end());
            index_current();
            edit.moves.push_back(std::move(move));
        }
        k = end;
    }

    for (size_t j = 0; j < new_keys.size();) {
        if (edit.old_of_new[j] >= 0) {
            ++j;
            continue;
        }
        size_t end = j + 1;
        while (end < new_keys.size() && edit.old_of_new[end] < 0)
            ++end;
        edit.inserts.push_back(ListInsert{static_cast<int>(j), static_cast<int>(end - j)});
        j = end;
    }
    return edit;
}

} // namespace music
