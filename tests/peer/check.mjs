// Peer interoperability check of the RefPack compressor against the npm package qfs-compression, an
// independent RefPack/QFS implementation. Usage: node check.mjs CORPUS_FOLDER PEER_PACKAGE_FOLDER
//
// For every NAME in CORPUS_FOLDER/manifest.txt (written by refpack_corpus):
//  1. the peer decompresses our stream NAME.ours back to the input NAME.bin;
//  2. the peer's own stream of NAME.bin is byte for byte ours, or else byte for byte NAME.bounded, the
//     stream of our algorithm with the peer's one different rule (its match comparison stops at
//     the end of the data, where ours runs on into the zero slack and so may prefer a farther copy
//     that is followed by zeros). The second case is counted and listed, never passed silently; with
//     REFPACK_PEER_STRICT=1 it fails.
//  3. the peer's stream decompresses to the input as well.
// Anything else is a failure. Prints one line per difference or failure and a summary line; exits 1 on
// any failure.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';

const [corpus, peerDir] = process.argv.slice(2);
if (!corpus || !peerDir) {
  console.error('usage: node check.mjs CORPUS_FOLDER PEER_PACKAGE_FOLDER');
  process.exit(2);
}
const require = createRequire(import.meta.url);
const { compress, decompress } = require(resolve(peerDir));
const strict = process.env.REFPACK_PEER_STRICT === '1';

const firstDifference = (a, b) => {
  const n = Math.min(a.length, b.length);
  for (let i = 0; i < n; i++) if (a[i] !== b[i]) return i;
  return n;
};
const hexAround = (buf, at) => Buffer.from(buf.subarray(Math.max(0, at - 4), at + 8)).toString('hex');

const names = readFileSync(join(corpus, 'manifest.txt'), 'utf8').split('\n').filter(Boolean);
let identical = 0, endRule = 0, failed = 0, inputBytes = 0, ourBytes = 0;
for (const name of names) {
  const input = readFileSync(join(corpus, `${name}.bin`));
  const ours = readFileSync(join(corpus, `${name}.ours`));
  const bounded = readFileSync(join(corpus, `${name}.bounded`));
  inputBytes += input.length;
  ourBytes += ours.length;
  const problems = [];

  let decoded;
  try {
    decoded = decompress(ours);
  } catch (error) {
    problems.push(`the peer cannot decompress our stream: ${error.message}`);
  }
  if (decoded && !decoded.equals(input)) problems.push('the peer decompresses our stream to other bytes');

  let theirs;
  try {
    theirs = compress(input);
  } catch (error) {
    problems.push(`the peer cannot compress the input: ${error.message}`);
  }
  if (theirs) {
    let again;
    try {
      again = decompress(theirs);
    } catch (error) {
      problems.push(`the peer cannot decompress its own stream: ${error.message}`);
    }
    if (again && !again.equals(input)) problems.push("the peer's own stream decodes to other bytes");

    if (theirs.equals(ours)) {
      if (problems.length === 0) identical++;
    } else {
      const at = firstDifference(theirs, ours);
      const detail = `${name}: the peer's stream differs from ours at byte ${at} ` +
        `(peer ${theirs.length} bytes ...${hexAround(theirs, at)}..., ours ${ours.length} bytes ...${hexAround(ours, at)}...)`;
      if (theirs.equals(bounded) && !strict) {
        if (problems.length === 0) endRule++;
        console.log(`${detail}: explained, the peer's stream is our algorithm with comparisons stopped at the end of the data`);
      } else {
        problems.push(`${detail}${theirs.equals(bounded) ? ' (the end-of-data rule; strict mode)' : ', not explained by the end-of-data rule'}`);
      }
    }
  }
  if (problems.length > 0) {
    failed++;
    for (const problem of problems) console.log(`FAIL ${name}: ${problem}`);
  }
}

const ratio = inputBytes === 0 ? 0 : ourBytes / inputBytes;
console.log(`peer (qfs-compression): ${names.length} inputs (${inputBytes} bytes, ours ${(100 * ratio).toFixed(1)}%): ` +
  `all decoded by the peer: ${failed === 0 ? 'yes' : 'no'}; ${identical} byte-identical to the peer's compressor, ` +
  `${endRule} differing only by the documented end-of-data rule, ${failed} failed`);
console.log(`peer: ${names.length - failed} passed, ${failed} failed`);
process.exit(failed === 0 && names.length > 0 ? 0 : 1);
