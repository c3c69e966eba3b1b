'use strict';
// The endpoint names of the module's table, read from kTable in
// src/common/endpoints.cpp so that the two cannot drift apart. Every one of
// them is pointed at a local service while the fakes run, so that nothing
// under test reaches the internet: names without a fake of their own go to the
// scriptable web service.
const fs = require('node:fs');
const path = require('node:path');

const source = fs.readFileSync(path.join(__dirname, '../../../src/common/endpoints.cpp'), 'utf8');
const table = /kTable\[\] = \{([^;]*)\};/.exec(source);
const ENDPOINT_NAMES = table ? [...table[1].matchAll(/\{"([^"]+)", "[^"]*"\}/g)].map((m) => m[1]) : [];
if (ENDPOINT_NAMES.length < 10) throw new Error('no endpoint table in src/common/endpoints.cpp');

module.exports = { ENDPOINT_NAMES };
