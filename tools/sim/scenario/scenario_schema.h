// The JSON Schema of scenario files (docs/scenario.schema.json), built into the program as it is in the repository.
#ifndef ZELM_SIM_SCENARIO_SCHEMA_H
#define ZELM_SIM_SCENARIO_SCHEMA_H

namespace zsim {

// The schema's text, byte for byte as docs/scenario.schema.json holds it; a static text, never null.
const char *ScenarioSchemaText();

}  // namespace zsim

#endif
