// Made-up Core Audio endpoints behind the endpoint enumerator factory: COM
// objects for the enumerator, its collections, devices, property stores and
// endpoint volumes over one shared list that tests change.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <string>
#include <vector>

struct FakeEndpoint {
    std::wstring id;
    EDataFlow flow = eRender;
    std::wstring name;
    std::string container;  // "{GUID}"; empty: the property cannot be read
    float scalar = 0.5f;
};

namespace FakeEndpoints {

// Puts the endpoints behind the factory; without endpoints the MMDevice API
// is missing (the factory fails).
void Install(std::vector<FakeEndpoint> endpoints, bool apiPresent = true);
// Restores the system's factory.
void Uninstall();

// Another program or the system at work, each on a thread of its own as the
// audio service calls back: the volume moved, an endpoint added or removed.
void SetVolumeElsewhere(const std::wstring& id, float scalar);
void Add(FakeEndpoint endpoint);
void Remove(const std::wstring& id);

float Scalar(const std::wstring& id);
// Fake objects alive (handed out and not yet released).
int LiveObjects();
// Registered and not unregistered: endpoint volume call-backs; the endpoint watch.
int VolumeCallbacks();
bool WatchRegistered();

}  // namespace FakeEndpoints
