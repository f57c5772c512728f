/*
 * Private to libzelm: the publication fault flags of a module's peers (the
 * OS nodes of LOCATION, the comp locations of COMP), set by a failed
 * publication and cleared by a successful one, and the smooth timer that
 * runs while any peer is flagged.
 *
 * The flags lie in exported records that a host may change itself, so the
 * peers' own flags are the only account of them: whether the timer may stop
 * is decided by walking the peers at every success, never by anything kept
 * beside them.
 */
#ifndef ZELM_CORE_PEER_FAULT_H
#define ZELM_CORE_PEER_FAULT_H

#include <cstdint>

#include "containers/zel_set_keyed.h"
#include "platform/qof.h"

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

/* Flags the peer for republication and starts the timer, also when it runs. */
template <typename Peer>
inline void ZelmPeerFaultAccess(Peer *peer, QOF_Timer *timer)
{
    peer->publishFault = 1u;
    (void)QOF_TimerStart(timer);
}

/* Clears the peer's flag; stops the timer, also when stopped, when no peer of the set is left flagged. */
template <typename Peer>
inline void ZelmPeerFaultSolved(ZelSet *peers, Peer *peer, QOF_Timer *timer)
{
    peer->publishFault = 0u;
    if (ZelmCountFlaggedPeers<Peer>(peers) == 0) {
        (void)QOF_TimerStop(timer);
    }
}

#endif
