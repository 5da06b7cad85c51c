// RangeTable: the engine's ranged transfers, one record per range, keyed by
// id in creation order (0, 1, 2 ...).
//
// Records only grow and never move, so a transfer thread keeps a pointer to
// its own. Every call, and every field of a record except `state` and
// `lastTick`, is under the engine lock; the table has no lock of its own so
// that a pass and the transfers it starts see one consistent table.
#pragma once

#include <map>

#include "download/download_types.h"

class RangeTable {
public:
    typedef std::map<int, DownloadItem> Map;

    // A fresh record with the next id.
    DownloadItem& Add() {
        const int id = NextId();
        DownloadItem& it = m_items[id];
        it.id = id;
        return it;
    }
    DownloadItem& At(int id) { return m_items.at(id); }
    DownloadItem& First() { return m_items.begin()->second; }
    int NextId() const { return static_cast<int>(m_items.size()); }
    size_t Size() const { return m_items.size(); }
    bool Empty() const { return m_items.empty(); }
    // Only before any transfer of a new download starts.
    void Clear() { m_items.clear(); }
    int CountRunning() const {
        int n = 0;
        for (const auto& kv : m_items)
            n += kv.second.state == kItemRunning ? 1 : 0;
        return n;
    }
    // A copy for callers outside the lock (statistics).
    Map Copy() const { return m_items; }

    Map::iterator begin() { return m_items.begin(); }
    Map::iterator end() { return m_items.end(); }
    Map::const_iterator begin() const { return m_items.begin(); }
    Map::const_iterator end() const { return m_items.end(); }

private:
    Map m_items;
};
