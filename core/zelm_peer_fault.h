/*
 * Private to libzelm: the publication fault flags of a module's peers (the
 * OS nodes of LOCATION, the comp locations of COMP) and the count of flagged
 * peers that each module keeps beside its control block, so that a
 * successful completion need not walk every peer while some are flagged.
 *
 * The flags lie in exported records: a host may set or clear one without the
 * library knowing. So the count is trusted only when it says that peers are
 * flagged. When it says none is, the peers are walked before the smooth timer
 * is stopped; that walk, like every tick, sets the count to what it found.
 * The count never goes below zero.
 */
#ifndef ZELM_CORE_PEER_FAULT_H
#define ZELM_CORE_PEER_FAULT_H

#include <cstdint>

#include "containers/zel_set_keyed.h"
#include "platform/qof.h"

/* The flagged peers of one module, as far as the library set and cleared their flags. */
struct ZelmFlaggedPeers {
    uint32_t num;
};

/* Number of peers in the set whose flag is set; 0 for an absent set. */
template <typename Peer>
inline uint32_t ZelmCountFlaggedPeers(ZelSet *peers)
{
    if (peers == nullptr) {
        return 0;
    }
    uint32_t num = 0;
    for (Peer *peer = ZelSetFirst<Peer>(peers); peer != nullptr; peer = ZelSetNext(peers, peer)) {
        num += (peer->publishFault != 0) ? 1u : 0u;
    }
    return num;
}

/* Takes the peer's flag out of the count, before the flag is cleared or the peer removed. */
template <typename Peer>
inline void ZelmPeerFlagGone(ZelmFlaggedPeers *flagged, const Peer *peer)
{
    if (peer->publishFault != 0 && flagged->num != 0) {
        --flagged->num;
    }
}

/* Flags the peer for republication and starts the timer, also when it runs. */
template <typename Peer>
inline void ZelmPeerFaultAccess(ZelmFlaggedPeers *flagged, Peer *peer, QOF_Timer *timer)
{
    if (peer->publishFault == 0) {
        ++flagged->num;
    }
    peer->publishFault = 1u;
    (void)QOF_TimerStart(timer);
}

/* Clears the peer's flag and stops the timer when no peer of the set is left flagged. */
template <typename Peer>
inline void ZelmPeerFaultSolved(ZelmFlaggedPeers *flagged, ZelSet *peers, Peer *peer, QOF_Timer *timer)
{
    ZelmPeerFlagGone(flagged, peer);
    peer->publishFault = 0u;
    if (flagged->num == 0) {
        flagged->num = ZelmCountFlaggedPeers<Peer>(peers);
        if (flagged->num == 0) {
            (void)QOF_TimerStop(timer);
        }
    }
}

#endif
