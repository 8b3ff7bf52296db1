CREATE TABLE `object` (
  `id` int(10) unsigned NOT NULL AUTO_INCREMENT,
  `externid` blob DEFAULT NULL,
  `objectclass` int(10) unsigned NOT NULL DEFAULT 0,
  PRIMARY KEY (`id`,`objectclass`),
  UNIQUE KEY `id` (`id`),
  UNIQUE KEY `externid` (`externid`(255),`objectclass`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
