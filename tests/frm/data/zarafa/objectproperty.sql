CREATE TABLE `objectproperty` (
  `objectid` int(10) unsigned NOT NULL DEFAULT 0,
  `propname` varchar(255) CHARACTER SET utf8mb3 COLLATE utf8mb3_bin NOT NULL,
  `value` text DEFAULT NULL,
  PRIMARY KEY (`objectid`,`propname`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
