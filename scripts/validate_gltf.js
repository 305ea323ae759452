// Validates glTF files with the Khronos glTF validator (the npm package
// gltf-validator); prints each file's errors and exits 1 when any has one.
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

async function validate(file) {
    const bytes = new Uint8Array(fs.readFileSync(file));
    const report = await validator.validateBytes(bytes, {
        uri: file,
        externalResourceFunction: (uri) =>
            new Promise((resolve, reject) => {
                fs.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri)), (error, data) =>
                    error ? reject(error.toString()) : resolve(new Uint8Array(data)));
            }),
    });
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings`);
    for (const message of issues.messages)
        if (message.severity === 0)
            console.log(`  ${message.code}: ${message.message} ${message.pointer || ''}`);
    return issues.numErrors === 0;
}

(async () => {
    let valid = true;
    for (const file of process.argv.slice(2))
        valid = (await validate(file)) && valid;
    process.exit(valid ? 0 : 1);
})();
