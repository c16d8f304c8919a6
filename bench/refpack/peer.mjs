// Times the compress() of the npm package qfs-compression on the inputs FOLDER/NAME.bin and prints one
// JSON object: { NAME: { mbps, ratio, same } } (mbps from the process's CPU time), where same tells whether its stream equals FOLDER/NAME.ours.
// Usage: node peer.mjs FOLDER PEER_PACKAGE_FOLDER [MIN_SECONDS]
import { readdirSync, readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';

const [folder, peerDir, minSecondsArg] = process.argv.slice(2);
const minSeconds = Number(minSecondsArg ?? 1);
const { compress } = createRequire(import.meta.url)(resolve(peerDir));
const result = {};
for (const file of readdirSync(folder).filter((f) => f.endsWith('.bin')).sort()) {
  const name = file.slice(0, -4);
  const input = readFileSync(join(folder, file));
  const ours = readFileSync(join(folder, `${name}.ours`));
  const first = compress(input); // warm-up, and the stream to compare
  // CPU time of the process (user + system), as Google Benchmark's rates use CPU time.
  let iterations = 0;
  const start = process.cpuUsage();
  let elapsed = 0;
  do {
    compress(input);
    iterations++;
    const used = process.cpuUsage(start);
    elapsed = (used.user + used.system) / 1e6;
  } while (elapsed < minSeconds || iterations < 2);
  result[name] = {
    mbps: (input.length * iterations) / elapsed / 1e6,
    ratio: first.length / input.length,
    same: Buffer.from(first).equals(ours),
  };
}
console.log(JSON.stringify(result));
