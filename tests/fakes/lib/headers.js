'use strict';
// Node's rawHeaders list as [name, value] pairs, in arrival order and with the
// names spelled as the client sent them.
function headerPairs(raw) {
	const out = [];
	for (let i = 0; i + 1 < raw.length; i += 2) out.push([raw[i], raw[i + 1]]);
	return out;
}

module.exports = { headerPairs };
