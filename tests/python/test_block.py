import numpy
import pytest

import tavrel

RIG_STATES = 2 * 150 + 2


@pytest.fixture(scope="module")
def well():
    return tavrel.Scenario.default().params("rig")


@pytest.fixture
def rig(well):
    return tavrel.Block("tavrel", well)


class TestRigBlock:
    def test_sizes_and_names(self, rig):
        assert rig.sizes == {"states": RIG_STATES, "inputs": 3, "outputs": 11, "params": 28,
                             "iwork": 1}
        assert rig.sizes_vector[19] == 8480229
        assert rig.input_names == ["choke_setpoint", "displacer_velocity", "injection_flow"]
        assert rig.output_names[0] == "bottom_pressure"
        assert rig.output_names[-1] == "sensor_pressure[3]"

    def test_initial_state_is_steady_with_the_choke_at_its_initial_opening(self, rig):
        u = [0.0, 0.0, 0.01]
        x0 = rig.initial_states(u)
        assert "Initial choke opening" in rig.take_console()
        opening = x0[2 * 150]
        assert 0.0 < opening < 1.0
        u[0] = opening
        y = rig.outputs(x0, u)
        bottom = y[rig.output_names.index("bottom_pressure")]
        # the mud compresses under its own head, so a little above the incompressible value
        assert bottom == pytest.approx(20e5 + 1300 * 9.81 * 3000, rel=0.03)
        assert y[rig.output_names.index("choke_opening")] == opening
        dx = rig.derivatives(x0, u)
        assert dx.shape == (RIG_STATES,)
        assert numpy.max(numpy.abs(dx[: 2 * 150])) < 1e-4 * numpy.max(numpy.abs(x0[: 2 * 150]))

    def test_caller_arrays_are_not_changed(self, rig):
        x = numpy.zeros(RIG_STATES)
        x[:] = rig.initial_states([0.0, 0.0, 0.01])
        before = x.copy()
        rig.outputs(x, [0.3, 0.1, 0.01])
        rig.derivatives(x, [0.3, 0.1, 0.01])
        numpy.testing.assert_array_equal(x, before)

    def test_params_by_position_match_params_by_name(self, rig, well):
        by_position = tavrel.Block("tavrel", [well[name] for name in rig.param_names])
        x0 = rig.initial_states([0, 0, 0.01])
        numpy.testing.assert_array_equal(by_position.initial_states([0, 0, 0.01]), x0)
        numpy.testing.assert_array_equal(by_position.outputs(x0, [0.2, 0.5, 0.01]),
                                         rig.outputs(x0, [0.2, 0.5, 0.01]))

    def test_set_param_takes_effect_at_the_next_call(self, rig):
        x0 = rig.initial_states([0, 0, 0.01])
        displacer = rig.output_names.index("displacer_pressure")
        before = rig.outputs(x0, [0.3, 0, 0.01])[displacer]
        rig.set_param("displacer_depth", 2000.0)
        after = rig.outputs(x0, [0.3, 0, 0.01])[displacer]
        assert before - after == pytest.approx(1000 * 1300 * 9.81, rel=1e-6)
        with pytest.raises(KeyError):
            rig.set_param(28, 0.0)

    def test_plugin_by_path(self, rig, well):
        by_path = tavrel.Block(rig.path, well)
        assert by_path.name == "tavrel" and by_path.sizes == rig.sizes


class TestObserverBlock:
    def test_observer_estimate_is_an_output(self):
        observer = tavrel.Block("tavrel_observer", tavrel.Scenario.default().params("observer"))
        assert observer.sizes["states"] == 43
        assert observer.output_names[5] == "displacer_velocity_estimate"
        assert all(observer.direct_feedthrough)
        x0 = observer.initial_states([0.01, 20e5])
        assert observer.outputs(x0, [0.01, 20e5]).shape == (observer.sizes["outputs"],)


class TestBlockErrors:
    def test_wrong_lengths_are_value_errors(self, rig):
        x0 = rig.initial_states()
        with pytest.raises(ValueError, match="3 values"):
            rig.outputs(x0, [0.0, 0.0])
        with pytest.raises(ValueError, match=f"{RIG_STATES} values"):
            rig.derivatives(x0[:-1], [0.0, 0.0, 0.0])
        with pytest.raises(ValueError):
            rig.outputs(x0.reshape(2, -1), [0.0, 0.0, 0.0])

    def test_parameter_names_are_checked(self, well):
        with pytest.raises(KeyError, match="annulus_lenght"):
            tavrel.Block("tavrel", {**well, "annulus_lenght": 1.0})
        incomplete = dict(well)
        del incomplete["sound_speed"]
        with pytest.raises(ValueError, match="sound_speed"):
            tavrel.Block("tavrel", incomplete)
        with pytest.raises(ValueError, match="28 parameters"):
            tavrel.Block("tavrel", [1.0] * 20)
        with pytest.raises(ValueError, match="annulus_area"):
            tavrel.Block("tavrel", {**well, "annulus_area": "wide"})

    def test_unknown_block_and_bad_plugin_file(self, tmp_path, well):
        with pytest.raises(tavrel.BlockError, match="no_such_block"):
            tavrel.Block("no_such_block", [])
        fake = tmp_path / "tavrel.mexa64"
        fake.write_text("not a plug-in")
        with pytest.raises(tavrel.BlockError, match="tavrel.mexa64"):
            tavrel.Block(str(fake), well)

    def test_refused_sizes_come_back_with_the_hosts_message(self, well):
        with pytest.raises(tavrel.BlockError, match="port"):
            tavrel.Block("tavrel", {**well, "num_fixed_outputs": 1e7})
