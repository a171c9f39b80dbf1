#!/usr/bin/env bash
# Writes the winget manifest set of a built package (version, installer and
# default-locale files) into a folder:
#   packaging/winget-manifest.sh <package.msi> <package identifier> <download URL> <out folder>
# Everything but the identifier and the URL comes from the package itself: its
# product code, upgrade code, version, publisher and links, and its SHA-256.
set -euo pipefail

if [ $# -ne 4 ]; then
    echo "usage: winget-manifest.sh <package.msi> <package identifier> <URL> <out folder>" >&2
    exit 2
fi
msi=$1
id=$2
url=$3
out=$4
schema=1.12.0

properties=$(msiinfo export "$msi" Property | tr -d '\r')
property() {
    awk -F '\t' -v name="$1" '$1 == name { print $2 }' <<<"$properties"
}
version=$(property ProductVersion)
publisher=$(property Manufacturer)
sha256=$(sha256sum "$msi" | cut -d' ' -f1 | tr a-f A-F)
header() {  # <manifest type>
    echo "# yaml-language-server: \$schema=https://aka.ms/winget-manifest.$1.$schema.schema.json"
    echo "PackageIdentifier: $id"
    echo "PackageVersion: $version"
}

mkdir -p "$out"
rm -f "$out"/*.yaml
{
    header version
    echo "DefaultLocale: en-US"
    echo "ManifestType: version"
    echo "ManifestVersion: $schema"
} >"$out/$id.yaml"
{
    header installer
    cat <<EOF
InstallerType: msi
Scope: machine
InstallModes:
- interactive
- silent
- silentWithProgress
# AUTOSTART is the user's choice and stays out of the switches, so that an
# upgrade keeps it: winget install $id --custom AUTOSTART=0
InstallerSwitches:
  Silent: /quiet /norestart
  SilentWithProgress: /passive /norestart
UpgradeBehavior: install
ElevationRequirement: elevatesSelf
ProductCode: '$(property ProductCode)'
AppsAndFeaturesEntries:
- DisplayName: $(property ProductName)
  Publisher: $publisher
  DisplayVersion: $version
  ProductCode: '$(property ProductCode)'
  UpgradeCode: '$(property UpgradeCode)'
Installers:
- Architecture: x64
  InstallerUrl: $url
  InstallerSha256: $sha256
ManifestType: installer
ManifestVersion: $schema
EOF
} >"$out/$id.installer.yaml"
{
    header defaultLocale
    cat <<EOF
PackageLocale: en-US
Publisher: $publisher
PublisherUrl: $(property ARPURLINFOABOUT)
PublisherSupportUrl: $(property ARPHELPLINK)
PackageName: $(property ProductName)
PackageUrl: $(property ARPURLINFOABOUT)
License: Proprietary
ShortDescription: $(property ARPCOMMENTS)
Description: Voxlink runs in the background and turns a USB telephone handset into a phone for the
  Skype desktop client that offers the desktop API.
InstallationNotes: Voxlink starts at each logon; --custom AUTOSTART=0 leaves that out, and upgrades
  keep the choice.
Tags:
- handset
- skype
- telephone
- usb
ManifestType: defaultLocale
ManifestVersion: $schema
EOF
} >"$out/$id.locale.en-US.yaml"
