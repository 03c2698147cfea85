// The map page's drawing rules, driven as the program drives the page: element values written,
// then "setMap" or "clearMap".
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const path = require('node:path');
const page = require(path.join(process.env.TAVERO_SOURCE_DIR || path.join(__dirname, '..', '..'),
                               'src/ui/map/map_page.js'));

// A view that records what the page drew: tracks as arrays of points.
function recordingView() {
    const v = { tracks: [], car: null, texts: [], pans: 0 };
    v.setPositionText = (t) => v.texts.push(t);
    v.clear = () => { v.tracks = []; };
    v.startTrack = () => v.tracks.push([]);
    v.addPoint = (lng, lat) => v.tracks[v.tracks.length - 1].push([lng, lat]);
    v.placeCar = (lng, lat, icon) => { v.car = { lng, lat, icon }; };
    v.panTo = () => { v.pans += 1; };
    return v;
}

function elements(values) {
    const e = Object.assign({ map_status: 'running', map_lng: '0', map_lat: '0', offset_lng: '0',
                              offset_lat: '0', SpeedBar: '0', SpeedBarText: '0', AngleBar: '0',
                              Index: '0', videoTime: '0' }, values);
    return (id) => (id in e ? String(e[id]) : '');
}

const near = (a, b) => Math.abs(a - b) < 1e-9;

test('a fix at 0, 0 is not drawn', () => {
    const v = recordingView();
    const p = page.createMapPage(v);
    assert.strictEqual(p.refresh(elements({})), 'no fix');
    assert.deepStrictEqual(v.tracks, []);
    assert.strictEqual(v.car, null);
    assert.strictEqual(v.texts[0], 'speed=0 angle=0');
});

test('identical positions draw one point and the car stays', () => {
    const v = recordingView();
    const p = page.createMapPage(v);
    const at = elements({ map_lng: '11.5', map_lat: '48.1', AngleBar: '90', SpeedBarText: '42' });
    assert.strictEqual(p.refresh(at), 'drawn');
    assert.strictEqual(p.refresh(at), 'same point');
    assert.strictEqual(v.tracks.length, 1);
    assert.strictEqual(v.tracks[0].length, 1);
    // The map's coordinates: +0.0065 longitude, +0.0060 latitude, offsets first.
    assert.ok(near(v.car.lng, 11.5065) && near(v.car.lat, 48.106));
    assert.strictEqual(v.car.icon, './image-run/e.png');
    assert.strictEqual(v.texts[1], 'speed=42 angle=90');
    const shifted = elements({ map_lng: '11.5', map_lat: '48.1', offset_lat: '0.001' });
    assert.strictEqual(p.refresh(shifted), 'drawn');
    assert.ok(near(v.tracks[0][1][1], 48.107));
});

test('a new Index starts a new track', () => {
    const v = recordingView();
    const p = page.createMapPage(v);
    p.refresh(elements({ map_lng: '1', map_lat: '1', Index: '0' }));
    p.refresh(elements({ map_lng: '1.001', map_lat: '1', Index: '0' }));
    p.refresh(elements({ map_lng: '2', map_lat: '2', Index: '1' }));
    assert.deepStrictEqual(v.tracks.map((t) => t.length), [2, 1]);
    // The same position as before the new Index is still a new track's first point.
    p.refresh(elements({ map_lng: '2', map_lat: '2', Index: '2' }));
    assert.deepStrictEqual(v.tracks.map((t) => t.length), [2, 1, 1]);
});

test('a stopped status breaks the track only after something was drawn', () => {
    const v = recordingView();
    const p = page.createMapPage(v);
    assert.strictEqual(p.refresh(elements({ map_status: 'stopped', map_lng: '1', map_lat: '1' })),
                       'stopped');
    assert.deepStrictEqual(v.tracks, []);
    p.refresh(elements({ map_lng: '1', map_lat: '1' }));
    p.refresh(elements({ map_status: 'stopped' }));
    p.refresh(elements({ map_status: 'idle', map_lng: '1.01', map_lat: '1', AngleBar: '300' }));
    assert.deepStrictEqual(v.tracks.map((t) => t.length), [1, 1]);
    assert.strictEqual(v.car.icon, './image-idle/nww.png');
    p.refresh(elements({ map_status: 'over speed', map_lng: '1.02', map_lat: '1', AngleBar: '20' }));
    assert.strictEqual(v.car.icon, './image-speed/nne.png');
});

test('clearMap and the clear status empty the track; the next point starts afresh', () => {
    const v = recordingView();
    const p = page.createMapPage(v);
    p.refresh(elements({ map_lng: '1', map_lat: '1' }));
    p.clear();
    assert.deepStrictEqual(v.tracks, []);
    p.refresh(elements({ map_lng: '1', map_lat: '1' }));
    assert.deepStrictEqual(v.tracks.map((t) => t.length), [1], 'the same point after a clear is drawn');
    assert.strictEqual(p.refresh(elements({ map_status: 'clear' })), 'cleared');
    assert.deepStrictEqual(v.tracks, []);
});

test('heading sectors: the thresholds belong to the sector below', () => {
    assert.strictEqual(page.headingSector(349), 'NNW');
    assert.strictEqual(page.headingSector(349.5), 'N');
    assert.strictEqual(page.headingSector(11), 'N');
    assert.strictEqual(page.headingSector(11.5), 'NNE');
    assert.strictEqual(page.headingSector(180), 'S');
});
