// Runs the glTF validator (installed by scripts/setup.sh into tools/node) on
// each file named and prints every error and warning as
// `FILE: SEVERITY CODE at POINTER: message`. Exits 1 when any file has an
// error or a warning, 2 when a file cannot be read or validated at all.
"use strict";
const fs = require("fs");
const path = require("path");
const validator = require(path.join(__dirname, "..", "tools", "node", "node_modules", "gltf-validator"));

const severities = ["error", "warning", "info", "hint"];

async function validate(file) {
	let data;
	try {
		data = fs.readFileSync(file);
	} catch (e) {
		console.error(`${file}: cannot read: ${e.message}`);
		return 2;
	}
	let report;
	try {
		// Everything we write is self-contained: an external reference is a fault.
		report = await validator.validateBytes(new Uint8Array(data), {
			uri: path.basename(file),
			maxIssues: 0,
			externalResourceFunction: (uri) => Promise.reject(`external resource ${uri}`),
		});
	} catch (e) {
		console.error(`${file}: not validated: ${e}`);
		return 2;
	}
	const issues = report.issues;
	for (const m of issues.messages) {
		if (m.severity <= 1)
			console.error(`${file}: ${severities[m.severity]} ${m.code} at ${m.pointer || "/"}: ${m.message}`);
	}
	if (issues.numErrors + issues.numWarnings > 0)
		return 1;
	console.log(`${file}: valid (${issues.numInfos} infos, ${issues.numHints} hints)`);
	return 0;
}

(async () => {
	const files = process.argv.slice(2);
	if (files.length === 0) {
		console.error("usage: validate_gltf.sh FILE.glb...");
		process.exit(2);
	}
	let status = 0;
	for (const f of files)
		status = Math.max(status, await validate(f));
	process.exit(status);
})();
