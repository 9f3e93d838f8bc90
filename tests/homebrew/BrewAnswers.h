#pragma once

#include <QByteArray>

// Shaped like Homebrew's own answers; only some keys matter to the scan.
inline const QByteArray outdatedJson = R"({
  "formulae": [{"name": "wget", "installed_versions": ["1.0", "1.2"], "current_version": "1.3",
                "pinned": true, "pinned_version": "1.2"}],
  "casks": [{"name": "docker", "installed_versions": ["4.28"], "current_version": "4.30"}]
})";

inline const QByteArray installedJson = R"({
  "formulae": [
    {"name": "wget", "full_name": "wget", "tap": "homebrew/core", "desc": "Internet file retriever",
     "homepage": "https://www.gnu.org/software/wget/", "versions": {"stable": "1.3"},
     "dependencies": ["openssl@3", "acme/tools/libidn2"], "pinned": true, "linked_keg": "1.2",
     "installed": [
       {"version": "1.0", "time": 1600000000, "installed_on_request": true, "installed_as_dependency": false},
       {"version": "1.2", "time": 1700000000, "installed_on_request": true, "installed_as_dependency": false}]},
    {"name": "libidn2", "desc": "International domain names", "dependencies": [], "pinned": false,
     "installed": [{"version": "2.3", "time": 1650000000, "installed_on_request": false}]},
    {"name": "kegs", "dependencies": [], "installed": [{"version": "1"}, {"version": "2"}]},
    {"name": "ghost", "desc": "never poured", "installed": []},
    {"name": 5, "desc": ["x"], "homepage": null, "dependencies": "zlib", "pinned": "true",
     "installed": [{"version": 3, "time": "yesterday", "installed_on_request": "yes"}]},
    {"name": "..", "installed": [{"version": "evil", "time": 1}]},
    7, null, ["wget"], "curl"
  ],
  "casks": [
    {"token": "docker", "full_token": "docker", "name": ["Docker Desktop"], "desc": "App to build containers",
     "homepage": "https://www.docker.com/", "version": "4.30", "installed": "4.28",
     "installed_time": 1710000000, "outdated": true},
    {"token": "fresh", "version": "2.0", "installed": null},
    null, 3, [{"token": "inside"}]
  ]
})";

inline const QByteArray servicesJson = R"([
  {"name": "postgresql@16", "status": "started", "user": "ann", "file": "/x.plist", "exit_code": 0},
  {"name": "redis", "status": null, "user": null, "file": "/y.plist", "exit_code": null},
  {"status": "error"}, 7])";

inline const QByteArray oneServiceJson = R"([{"name": "redis", "status": "none", "user": ""}])";
