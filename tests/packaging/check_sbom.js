// Validates a CycloneDX 1.5 bill of materials against the published schema with the
// format's own library, and checks its components against what the build used.
// Usage: node check_sbom.js SBOM EXPECTED
// EXPECTED lines: "bundled NAME VERSION" (a component linked in or shipped, at that
// version) or "system PACKAGE" (a system library the package depends on).
// Prints one ok/FAILED line per check; exits 1 when one failed.
'use strict';
const fs = require('fs');
const CDX = require('@cyclonedx/cyclonedx-library');

let failed = 0;
function check(ok, what) {
    console.log(`${ok ? 'ok' : 'FAILED'}: ${what}`);
    if (!ok) failed++;
}

async function main() {
    const [sbomPath, expectedPath] = process.argv.slice(2);
    const text = fs.readFileSync(sbomPath, 'utf8');
    // The library names each format release by its version string.
    const validator = new CDX.Validation.JsonStrictValidator('1.5');
    const errors = await validator.validate(text);
    check(errors === null, `valid CycloneDX 1.5${errors ? ': ' + JSON.stringify(errors) : ''}`);

    const bom = JSON.parse(text);
    const property = (c, name) => (c.properties || []).find(p => p.name === name)?.value;
    const components = bom.components || [];
    const bundled = components.filter(c => property(c, 'corvaneping:linkage') === 'bundled');
    const system = components.filter(c => property(c, 'corvaneping:linkage') === 'system');
    const wanted = fs.readFileSync(expectedPath, 'utf8').split('\n').filter(l => l).map(l => l.split(' '));

    for (const [kind, name, version] of wanted) {
        const found = (kind === 'bundled' ? bundled : system).find(c => c.name === name);
        if (kind === 'system') {
            check(found !== undefined, `${name} is named as a system library`);
            continue;
        }
        check(found?.version === version, `${name} ${version} (the SBOM says ${found?.version})`);
        if (!found) continue;
        const debianVersion = property(found, 'corvaneping:debian-version');
        const sources = (found.externalReferences || []).filter(r => r.type === 'distribution');
        check(found.purl?.startsWith('pkg:deb/debian/') && debianVersion &&
              found.purl.includes('@' + encodeURIComponent(debianVersion).replace(/%7E/g, '~')) &&
              sources.length > 0 &&
              sources.every(r => r.url && /^[0-9a-f]{64}$/.test(r.hashes?.[0]?.content || '')) &&
              (found.licenses || []).length > 0,
              `${name}: Debian source ${debianVersion}, its package URL, ${sources.length} source ` +
              'files with their SHA-256 and a license');
    }
    const names = new Set(wanted.filter(w => w[0] === 'bundled').map(w => w[1]));
    const extra = bundled.filter(c => !names.has(c.name)).map(c => c.name);
    check(extra.length === 0, `no component that the build did not use${extra.length ? ': ' + extra : ''}`);
    process.exit(failed ? 1 : 0);
}

main().catch(error => {
    console.log(`FAILED: ${error}`);
    process.exit(1);
});
