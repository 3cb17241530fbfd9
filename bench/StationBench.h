// Several devices updated at once through orvane-cli's station run; takes minutes, so registered
// only when the end-to-end transfers are.
#pragma once

void RegisterStationBenchmarks();
