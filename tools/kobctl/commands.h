// The commands of kobctl; each takes the arguments after its name and
// returns the process exit status.
#pragma once

#include <string>
#include <vector>

using Args = std::vector<std::string>;

int RunIdentify(const Args& args);
int RunFormula(const Args& args);
int RunScope(const Args& args);
int RunMeter(const Args& args);
int RunFuncGen(const Args& args);
int RunPower(const Args& args);
int RunDigIO(const Args& args);
int RunAnalyser(const Args& args);
int RunRelays(const Args& args);
int RunHandheld(const Args& args);
