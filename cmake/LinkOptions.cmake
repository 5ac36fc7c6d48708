# Link options chosen on measured start-up cost (bench/README.md). Included once the
# targets exist.
#
# The component factory opens modules with lazy binding, which leaves the libraries a
# module pulls in to bind what they use when they use it. The module itself binds
# everything when it is loaded, so that a module that does not match the agent's library
# is refused at load time, with the loader's reason in the log, instead of failing in
# the middle of the run.
if(NOT WIN32)
    set_property(TARGET CommunicationAPI APPEND PROPERTY LINK_OPTIONS LINKER:-z,now)
endif()
