// One thing a host does with a plug-in, done again and again while the
// system fails the plug-in's calls: between its load (the failures start
// right after it) and its unload (whose calls fail too).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

class PluginLibrary;

class FaultScenario {
public:
    virtual ~FaultScenario() = default;
    // Before the load: files and images as every run starts from them.
    virtual void Prepare() {}
    // Uses the plug-in as a host would: "" when everything it returned and
    // wrote is what the interface allows, else what was not.
    virtual std::string Exercise(const PluginLibrary& plugin) = 0;
    // After the unload: what the run left behind that it must not.
    virtual std::string AfterUnload() { return ""; }
};

// Makes the scenario a token names ("runs:1"), or null for none.
typedef std::unique_ptr<FaultScenario>(WINAPI* ScenarioMaker)(const std::string& token, const std::wstring& plugin);
