// The end-to-end transfers take minutes; they are registered only when asked for.
#pragma once

void RegisterEndToEndBenchmarks();
