// The built-in scenario, run when no file is given: a small cluster through a day of ordinary trouble.
#include "scenario/scenario.h"

namespace zsim {

const char *BuiltinScenarioText()
{
    return R"yaml(# The built-in scenario of zelm-sim (print it with `zelm-sim --print-builtin`).
name: built-in
description: >
  Three nodes come up, the configuration arrives, the agent of n2 goes down for ten seconds while an
  update is under way and the smooth timers bring it back; the batch location on n3 restarts under a
  new index and its components are moved there; a component and a location are deleted.

nodes:
  - {name: n1, chassis: 1, slot: 1, cpu: 0}
  - {name: n2, chassis: 1, slot: 2, cpu: 0}
  - {name: n3, chassis: 1, slot: 3, cpu: 0}

timeline:
  - {at: 0, link: {node: n1, up: true}}
  - {at: 0, link: {node: n2, up: true}}
  - {at: 0, link: {node: n3, up: true}}

  - at: 100ms
    config:
      - {class: compNode, compType: 10, compTypeName: http-server, compFileName: httpd.bin}
      - {class: compNode, compType: 11, compTypeName: cache-engine, compFileName: cached.bin}
      - {class: compNode, compType: 12, compTypeName: worker, compFileName: worker.bin}
      - {class: compNode, compType: 13, compTypeName: metrics, compFileName: metricsd.bin}

  - at: 200ms
    config:
      - {class: location, LocId: 1, LocName: web-1, OsInst: n1, imageName: web.service}
      - {class: location, LocId: 2, LocName: api-2, OsInst: n1, imageName: api.service}
      - {class: location, LocId: 3, LocName: web-3, OsInst: n2, imageName: web.service}
      - {class: location, LocId: 4, LocName: cache-4, OsInst: n2, imageName: cache.service}
      - {class: location, LocId: 5, LocName: db-5, OsInst: n3, imageName: db.service}
      - {class: location, LocId: 6, LocName: batch-6, OsInst: n3, imageName: batch.service}

  - {at: 300ms, locationStatus: {node: n1, service: web-1, index: 1}}
  - {at: 300ms, locationStatus: {node: n1, service: api-2, index: 2}}
  - {at: 300ms, locationStatus: {node: n2, service: web-3, index: 3}}
  - {at: 300ms, locationStatus: {node: n2, service: cache-4, index: 4}}
  - {at: 300ms, locationStatus: {node: n3, service: db-5, index: 5}}
  - {at: 300ms, locationStatus: {node: n3, service: batch-6, index: 6}}

  - at: 400ms
    config:
      - {class: component, locIndex: 1, compInst: 101, compType: 10, compInstName: web-1-http}
      - {class: component, locIndex: 1, compInst: 102, compType: 13, compInstName: web-1-metrics}
      - {class: component, locIndex: 1, compInst: 103, compType: 12, compInstName: web-1-worker}
      - {class: component, locIndex: 2, compInst: 201, compType: 10, compInstName: api-2-http}
      - {class: component, locIndex: 2, compInst: 202, compType: 12, compInstName: api-2-worker}
      - {class: component, locIndex: 2, compInst: 203, compType: 13, compInstName: api-2-metrics}
      - {class: component, locIndex: 3, compInst: 301, compType: 10, compInstName: web-3-http}
      - {class: component, locIndex: 3, compInst: 302, compType: 13, compInstName: web-3-metrics}
      - {class: component, locIndex: 3, compInst: 303, compType: 12, compInstName: web-3-worker}
      - {class: component, locIndex: 4, compInst: 401, compType: 11, compInstName: cache-4-a}
      - {class: component, locIndex: 4, compInst: 402, compType: 11, compInstName: cache-4-b}
      - {class: component, locIndex: 4, compInst: 403, compType: 13, compInstName: cache-4-metrics}
      - {class: component, locIndex: 5, compInst: 501, compType: 12, compInstName: db-5-writer}
      - {class: component, locIndex: 5, compInst: 502, compType: 12, compInstName: db-5-reader}
      - {class: component, locIndex: 5, compInst: 503, compType: 13, compInstName: db-5-metrics}
      - {class: component, locIndex: 5, compInst: 504, compType: 11, compInstName: db-5-cache}
      - {class: component, locIndex: 6, compInst: 601, compType: 12, compInstName: batch-6-a}
      - {class: component, locIndex: 6, compInst: 602, compType: 12, compInstName: batch-6-b}
      - {class: component, locIndex: 6, compInst: 603, compType: 13, compInstName: batch-6-metrics}
      - {class: component, locIndex: 6, compInst: 604, compType: 10, compInstName: batch-6-http}

  # The agent of n2 goes down while an update for it is on its way; the smooth timers retry every 5 s.
  - {at: 2s, agent: {node: n2, downFor: 10s}}
  - at: 3s
    config:
      - {class: location, opCode: update, LocId: 3, LocName: web-3, OsInst: n2, imageName: web.service, LocType: 2}
      - {class: component, opCode: update, locIndex: 3, compInst: 301, compType: 10, compInstName: web-3-http, attr1: 2}

  # batch-6 restarts under index 16: the library forgets what it kept for index 6.
  - {at: 20s, locationStatus: {node: n3, service: batch-6, index: 16}}
  - at: 21s
    config:
      - {class: component, opCode: delete, locIndex: 6, compInst: 601, compType: 12, compInstName: batch-6-a}
      - {class: component, opCode: delete, locIndex: 6, compInst: 602, compType: 12, compInstName: batch-6-b}
      - {class: component, opCode: delete, locIndex: 6, compInst: 603, compType: 13, compInstName: batch-6-metrics}
      - {class: component, opCode: delete, locIndex: 6, compInst: 604, compType: 10, compInstName: batch-6-http}
      - {class: component, locIndex: 16, compInst: 601, compType: 12, compInstName: batch-6-a}
      - {class: component, locIndex: 16, compInst: 602, compType: 12, compInstName: batch-6-b}
      - {class: component, locIndex: 16, compInst: 603, compType: 13, compInstName: batch-6-metrics}
      - {class: component, locIndex: 16, compInst: 604, compType: 10, compInstName: batch-6-http}

  # A few deletes: one component, then a location after its components.
  - {at: 25s, config: {class: component, opCode: delete, locIndex: 2, compInst: 203, compType: 13}}
  - at: 26s
    config:
      - {class: component, opCode: delete, locIndex: 2, compInst: 201, compType: 10}
      - {class: component, opCode: delete, locIndex: 2, compInst: 202, compType: 12}
      - {class: location, opCode: delete, LocId: 2, LocName: api-2, OsInst: n1, imageName: api.service}
)yaml";
}

}  // namespace zsim
