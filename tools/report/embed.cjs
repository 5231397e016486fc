// Writes a C++ source that holds files as byte arrays, so that the program
// carries the report's scripts and styles inside itself.
//   node embed.cjs OUT.cpp NAME=FILE [NAME=FILE ...]
// Each NAME becomes `std::string_view tacsim::report::asset_NAME()`.
// Byte arrays rather than string literals: compilers limit the length of a
// literal, not of an array.
'use strict';
const fs = require('fs');
const [out, ...pairs] = process.argv.slice(2);
if (!out || pairs.length === 0) {
  console.error('usage: node embed.cjs OUT.cpp NAME=FILE...');
  process.exit(2);
}
let text = '// Generated at build time by tools/report/embed.cjs; do not edit.\n' +
           '#include <string_view>\n\nnamespace tacsim::report {\n\nnamespace {\n';
const accessors = [];
for (const pair of pairs) {
  const eq = pair.indexOf('=');
  const name = pair.slice(0, eq), file = pair.slice(eq + 1);
  const bytes = fs.readFileSync(file);
  const lines = [];
  for (let i = 0; i < bytes.length; i += 40) {
    lines.push(Array.from(bytes.subarray(i, i + 40)).join(','));
  }
  text += `// ${file.split('/').slice(-3).join('/')}\n` +
          `const unsigned char data_${name}[${bytes.length + 1}] = {\n${lines.join(',\n')}${bytes.length ? ',' : ''}0};\n`;
  accessors.push(`std::string_view asset_${name}() {\n` +
                 `    return {reinterpret_cast<const char*>(data_${name}), ${bytes.length}};\n}\n`);
}
text += '\n}  // namespace\n\n' + accessors.join('\n') + '\n}  // namespace tacsim::report\n';
const tmp = out + '.tmp';
fs.writeFileSync(tmp, text);
fs.renameSync(tmp, out);
