/*
 * A minimal host in C11: starts libzelm with its own allocator on the stand-in
 * platform, brings up one OS node, configures a component type, a location and
 * a component, announces the location, runs the event loop and stops.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zelm.h"
#include "zelm_standin.h"

static size_t g_liveBlocks;

static void *HostMalloc(size_t size)
{
    void *p = malloc(size);
    if (p != NULL) {
        g_liveBlocks++;
    }
    return p;
}

static void HostFree(void *p)
{
    if (p != NULL) {
        g_liveBlocks--;
        free(p);
    }
}

static void Deliver(uint32_t classId, uint16_t opCode, const void *record, uint32_t len)
{
    STANDIN_Msg *msg = STANDIN_MsgNew();
    STANDIN_MsgAddAtom(msg, classId, opCode, 1, record, len);
    (void)STANDIN_MsgPost(msg);
}

int main(void)
{
    STANDIN_Reset();
    STANDIN_LogSetSink(STANDIN_LOG_TEXT, stderr);
    uint32_t node = STANDIN_KormAddOsNode(1, 2, 0, 1);

    if (ZELM_Init(HostMalloc, HostFree) != 0) {
        fprintf(stderr, "ZELM_Init failed\n");
        return 1;
    }

    ZelmCompNodeCfg type;
    memset(&type, 0, sizeof(type));
    type.compType = 7;
    type.compClass = 1;
    strcpy(type.compTypeName, "worker");
    strcpy(type.compFileName, "worker.bin");
    Deliver(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_ADD, &type, sizeof(type));

    ZelmLocInstCfg loc;
    memset(&loc, 0, sizeof(loc));
    loc.LocId = 10;
    loc.OsInst = node;
    strcpy(loc.LocName, "loc-10");
    strcpy(loc.imageName, "loc.service");
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, &loc, sizeof(loc));

    ZelmCompInstCfg comp;
    memset(&comp, 0, sizeof(comp));
    comp.compInst = 1;
    comp.compType = 7;
    comp.locIndex = 10;
    comp.cfgStatus = INT32_MIN; /* bit 31: acted on */
    strcpy(comp.compInstName, "worker-1");
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, &comp, sizeof(comp));

    STANDIN_KormRaiseOsNodeLink(node, 1);
    STANDIN_KormRaiseLocationStatus(node, "loc.service", 10, 1);
    STANDIN_RunFor(1000);

    QOF_ConnHandle agent = STANDIN_KormServerHandle(node);
    size_t locations = STANDIN_AgentLocCount(agent);
    size_t components = STANDIN_AgentCompCount(agent);
    printf("agent of node %#x holds %zu location(s) and %zu component(s)\n", node, locations, components);

    /* Calls still in flight are completed before the library stops. */
    STANDIN_RpcFailPending(1);
    ZELM_FInit();
    STANDIN_Reset();
    printf("host blocks left after ZELM_FInit: %zu\n", g_liveBlocks);
    return (locations == 1 && components == 1 && g_liveBlocks == 0) ? 0 : 1;
}
